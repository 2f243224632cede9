#pragma once
// Models made by the data generator for a test, written as binary .x files into the test's
// temporary folder under a name of this process's own: tests run in parallel, each in a process.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Model.h"
#include "XWriter.h"

namespace testsupport {

inline std::string writeModel(const datagen::Model& model, const std::string& name) {
    const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / (std::to_string(::getpid()) + "-" + name);
    const std::vector<uint8_t> bytes = datagen::writeX(model, datagen::XEncoding::Binary);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

// A lone triangle in z = 0, turned away from the camera: the first frame of a device culls it,
// every later frame draws it.
inline datagen::Model sheet() {
    datagen::Model sheet;
    sheet.name = "Sheet";
    for (auto [x, y] : {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {0.0f, 1.0f}})
        sheet.vertices.push_back({{x, y, 0}, {0, 0, 1}, 0.5f, 0.5f});
    sheet.faces.push_back({{0, 1, 2}, 0, 0});
    sheet.materials.push_back(datagen::makeMaterial(0.9f, 0.8f, 0.7f, 8, 0));
    sheet.parts.push_back({"sheet", datagen::Closure::Sheet});
    return sheet;
}

}  // namespace testsupport
