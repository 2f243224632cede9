#pragma once
// The five models and the files they go into. Each builder is a fixed recipe: no randomness,
// so every run produces the same vertices in the same order.

#include <string>
#include <vector>

#include "Model.h"
#include "XWriter.h"

namespace datagen {

Model buildRobot();
Model buildFlower();
Model buildRose();
Model buildArmillarySphere();
Model buildBox();

struct ModelFile {
    std::string fileName;
    XEncoding encoding;
    Model (*build)();
};

// doom1.x to doom5.x, in that order.
const std::vector<ModelFile>& modelFiles();

struct GeneratedFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Every data file the generator writes, models first, then the ramp.
std::vector<GeneratedFile> generateAll();

}  // namespace datagen
