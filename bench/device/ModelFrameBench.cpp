// The program's frame, drawn through the frame recipe on the off-screen device (800 × 600,
// no overlay text), over a generated sphere of about 40,000 faces turning about y: the cel
// pass (indexed triangles through the cel shader and the ramp) and the edge pass (three
// lines per face through the edge shader, kept by the alpha test).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "Model.h"
#include "Primitives.h"
#include "XWriter.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "scene/FrameRecipe.h"

namespace {

std::string writeSphere() {
    datagen::ModelBuilder b("Sphere", {datagen::makeMaterial(0.8f, 0.6f, 0.4f, 8, 0.2f)});
    b.add("sphere", datagen::sphere(10.0, 200, 100), datagen::Affine{}, 0);
    const std::vector<uint8_t> bytes = datagen::writeX(b.finish(), datagen::XEncoding::Binary);
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "celshade-bench-sphere.x";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

void BM_ModelFrame(benchmark::State& state) {
    Mdx8::setDataDirectory(CELSHADE_SOURCE_DIR "/data");
    Mdx8::initDevice(800, 600, D3DFMT_X8R8G8B8, nullptr, false, 1, true);
    Mdx8::initScene();
    recipe::Scene scene;
    scene.zoom = recipe::kInitialZoom;
    recipe::setUpScene(scene, writeSphere());
    recipe::bindRampTexture(scene);
    Direct3DDevice8& device = Mdx8::device();
    device.setAlphaCullEnabled(state.range(0) != 0);
    recipe::drawFrame(device, scene);  // the first frame culls; the steady ones do not
    for (auto _ : state) {
        scene.yaw += 1;
        recipe::drawFrame(device, scene);
    }
    state.counters["faces"] = Mdx8::sceneMesh.numFaces;
    state.counters["edges_kept"] = device.lastDrawStats().primitivesSubmitted;
    Mdx8::shutdown(false);
}

// Argument: alpha cull on (1) or off (0).
BENCHMARK(BM_ModelFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
