// Vertices per second of the two shipped programs on the interpreter, on one core and on
// all of them, over a mesh-sized vertex array in the layouts the render passes use.
#include <benchmark/benchmark.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "scene/FrameRecipe.h"
#include "vs/Assembler.h"
#include "vs/Interpreter.h"

namespace {

vs::Program loadProgram(const char* name) {
    std::ifstream in(std::string(CELSHADE_SOURCE_DIR) + "/data/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return vs::decodeProgram(vs::assemble(text.str(), name).function);
}

// The frame's own ramp row and light; a plausible camera and material in the other registers.
vs::ConstantFile frameConstants() {
    vs::ConstantFile k{};
    auto put = [&k](uint32_t reg, const D3DXVECTOR4& v) { k[reg] = {v.x, v.y, v.z, v.w}; };
    put(recipe::kRampRowRegister, recipe::kRampRow);
    const uint32_t wv = recipe::kWorldViewRegister, wvp = recipe::kWorldViewProjectionRegister;
    k[wv + 0] = {1, 0, 0, 0};
    k[wv + 1] = {0, 1, 0, 0};
    k[wv + 2] = {0, 0, 1, 40};
    k[wvp + 0] = {3.0f, 0, 0, 0};
    k[wvp + 1] = {0, 2.4f, 0, 0};
    k[wvp + 2] = {0, 0, 1.0001f, 39.9};
    k[wvp + 3] = {0, 0, 1, 40};
    k[recipe::kDiffuseRegister] = {0.8f, 0.6f, 0.4f, 1};
    put(recipe::kLightRegister, recipe::kLight);
    return k;
}

struct Scene {
    std::vector<float> data;
    std::vector<vs::InputBinding> bindings;
    uint32_t stride;
};

// floatsPerVertex 8: position, normal, uv (cel pass); 9: position and two normals (edges).
Scene makeScene(size_t count, bool edges) {
    Scene s;
    const size_t floats = edges ? 9 : 8;
    s.stride = uint32_t(floats * 4);
    s.bindings = {{0, vs::InputType::Float3, 0}, {3, vs::InputType::Float3, 12}};
    s.bindings.push_back(edges ? vs::InputBinding{6, vs::InputType::Float3, 24} : vs::InputBinding{7, vs::InputType::Float2, 24});
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    s.data.resize(count * floats);
    for (float& f : s.data) f = d(rng);
    return s;
}

void shade(benchmark::State& state, const char* file, bool edges, unsigned threads) {
    const vs::CompiledShader shader(loadProgram(file));
    const size_t count = size_t(state.range(0));
    const Scene scene = makeScene(count, edges);
    vs::VertexSource src;
    src.data = reinterpret_cast<const std::byte*>(scene.data.data());
    src.stride = scene.stride;
    src.bindings = scene.bindings;
    std::vector<float> out(count * 10);
    vs::OutputArrays arrays;
    for (size_t c = 0; c < 4; ++c) arrays.comp[vs::OutPos][c] = out.data() + c * count;
    for (size_t c = 0; c < 4; ++c) arrays.comp[vs::OutD0][c] = out.data() + (4 + c) * count;
    for (size_t c = 0; c < 2; ++c) arrays.comp[vs::OutT0][c] = out.data() + (8 + c) * count;
    const vs::ConstantFile k = frameConstants();
    for (auto _ : state) {
        shader.run(k, src, count, arrays, threads);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["vertices/s"] = benchmark::Counter(double(count) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void CelOneCore(benchmark::State& s) { shade(s, "celshading.txt", false, 1); }
void CelAllCores(benchmark::State& s) { shade(s, "celshading.txt", false, 0); }
void EdgeOneCore(benchmark::State& s) { shade(s, "shver2.txt", true, 1); }
void EdgeAllCores(benchmark::State& s) { shade(s, "shver2.txt", true, 0); }

// One core: the rate is per second of the thread's own processor time, which holds on a busy
// machine. All cores: per second of wall-clock time, the only measure that counts the workers.
BENCHMARK(CelOneCore)->Arg(1 << 12)->Arg(1 << 15)->Arg(1 << 18);
BENCHMARK(CelAllCores)->Arg(1 << 12)->Arg(1 << 15)->Arg(1 << 18)->UseRealTime();
BENCHMARK(EdgeOneCore)->Arg(1 << 12)->Arg(1 << 15)->Arg(1 << 18);
BENCHMARK(EdgeAllCores)->Arg(1 << 12)->Arg(1 << 15)->Arg(1 << 18)->UseRealTime();

}  // namespace
