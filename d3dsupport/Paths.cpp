#include "d3dsupport/Paths.h"

#include <QCoreApplication>

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

}  // namespace Mdx8
