#include "Models.h"

#include "Ramp.h"

namespace datagen {

// Text for the models people open in an editor, and every other encoding once, so that a
// reader is exercised on all four.
const std::vector<ModelFile>& modelFiles() {
    static const std::vector<ModelFile> files{
        {"doom1.x", XEncoding::Text, &buildRobot},
        {"doom2.x", XEncoding::Text, &buildFlower},
        {"doom3.x", XEncoding::CompressedText, &buildRose},
        {"doom4.x", XEncoding::Binary, &buildArmillarySphere},
        {"doom5.x", XEncoding::CompressedBinary, &buildBox},
    };
    return files;
}

std::vector<GeneratedFile> generateAll() {
    std::vector<GeneratedFile> out;
    for (const ModelFile& f : modelFiles()) out.push_back({f.fileName, writeX(f.build(), f.encoding)});
    out.push_back({"banda2.bmp", rampBitmap()});
    return out;
}

}  // namespace datagen
