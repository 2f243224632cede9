// roundtrip_models OUTDIR: the five models as the round-trip tests start from them.
//   OUTDIR/source/doomN.x        the model in the text encoding, for `assimp export`: Assimp
//                                names a material of a text file after its line, so no two
//                                share a name in the exported files (the binary files' would)
//   OUTDIR/one-material/doomN.x  the model with every face in the material a file without
//                                materials gets, the reference for formats that carry none
// Both hold exactly the values of data/doomN.x.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Models.h"
#include "XWriter.h"

namespace {

void write(const std::filesystem::path& path, const datagen::Model& model) {
    const std::vector<uint8_t> bytes = datagen::writeX(model, datagen::XEncoding::Text);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: roundtrip_models OUTDIR\n");
        return 2;
    }
    const std::filesystem::path out(argv[1]);
    std::filesystem::create_directories(out / "source");
    std::filesystem::create_directories(out / "one-material");
    for (const datagen::ModelFile& file : datagen::modelFiles()) {
        datagen::Model model = file.build();
        write(out / "source" / file.fileName, model);
        // The default material's diffuse colour and specular, as the .x loader gives it.
        datagen::Material plain;
        plain.faceColor = {0.5f, 0.5f, 0.5f, 0.0f};
        plain.specularColor = {0.5f, 0.5f, 0.5f};
        model.materials = {plain};
        for (datagen::Face& face : model.faces) face.material = 0;
        write(out / "one-material" / file.fileName, model);
    }
    return 0;
}
