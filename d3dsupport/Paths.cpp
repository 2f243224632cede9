#include "d3dsupport/Paths.h"

#include <QCoreApplication>

#include <filesystem>
#include <system_error>

namespace Mdx8 {

namespace {
std::string& overrideDirectory() {
    static std::string directory;
    return directory;
}
}  // namespace

void setDataDirectory(std::string directory) { overrideDirectory() = std::move(directory); }

std::string dataPath(std::string_view name) {
    std::string path = overrideDirectory();
    if (path.empty()) path = QCoreApplication::applicationDirPath().toStdString();
    for (char c : name) path += c == '\\' ? '/' : c;
    return path;
}

std::string modelPath(const std::string& modelFile) {
    return modelFile.starts_with('\\') ? dataPath(modelFile) : modelFile;
}

bool chosenByUser(const std::string& modelFile) { return !modelFile.starts_with('\\'); }

bool isBuiltInModel(const std::string& path) {
    std::error_code error;
    for (int n = 1; n <= 5; ++n)
        if (std::filesystem::equivalent(path, dataPath("\\doom" + std::to_string(n) + ".x"), error)) return true;
    return false;
}

}  // namespace Mdx8
