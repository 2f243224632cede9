// The program begins at the start dialog; everything else is created from it. A model file
// named on the command line is chosen in it for STAR instead of the first of the five.

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/Form2.h"
#include "runtime/Heap.h"
#include "ui/ErrorReport.h"
#include "ui/WarmUp.h"

namespace {

constexpr const char* kUsage = "usage: celshade [--help] [--version] [MODEL]\n";
constexpr const char* kHelp =
    "A demonstration of cartoon (cel) shading. The start dialog picks one of five models and the\n"
    "crease threshold; STAR opens the render window. MODEL, a model file of your own (DirectX\n"
    ".x, or glTF, OBJ, FBX, COLLADA, PLY, STL, 3DS and the other formats Assimp reads), is chosen\n"
    "for STAR instead of the first of the five, as is a file chosen with Open (Ctrl+O) or dropped\n"
    "on either window. A file that cannot be opened is reported and the program goes on; an\n"
    "import that takes long can be left by pressing STAR again or EXIT.\n"
    "\n"
    "In the render window, drag with the left button to turn the model and with the right\n"
    "button to zoom; F12 or Ctrl+S saves the frame as a PNG in your pictures folder, under\n"
    "celshade/, and prints its path; a double-click ends the program.\n"
    "\n"
    "  --help       this text\n"
    "  --version    the program's version\n"
    "  --           what follows is the model, even if it starts with '-'\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are taken as well.\n";

// Answered before anything of the window system starts, so that they work without a display.
bool answeredAtOnce(int argc, char** argv, int& status) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s\n%s", kUsage, kHelp);
            status = 0;
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("celshade %s\n", CELSHADE_VERSION);
            status = 0;
            return true;
        }
    }
    return false;
}

// The options QApplication takes out of the command line for itself (with one dash or two,
// and a value after them or after "="), as Qt documents them for its GUI applications on X11
// and Wayland.
constexpr std::string_view kQtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "style", "stylesheet", "display", "geometry"};
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb"};

struct CommandLine {
    std::string model;  // empty: none named
    std::string wrong;  // why the command line is wrong; empty when it is right
};

// Checked before the window system starts: without a display, Qt would end the program before
// a wrong command line could be reported.
CommandLine checkCommandLine(int argc, char** argv) {
    CommandLine line;
    std::vector<std::string> models;
    bool onlyModels = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (onlyModels || arg.empty() || arg[0] != '-') {
            models.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyModels = true;
            continue;
        }
        std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
        const bool valueAttached = name.find('=') != std::string_view::npos;
        name = name.substr(0, name.find('='));
        if (std::find(std::begin(kQtFlags), std::end(kQtFlags), name) != std::end(kQtFlags)) continue;
        if (std::find(std::begin(kQtOptionsWithValue), std::end(kQtOptionsWithValue), name) != std::end(kQtOptionsWithValue)) {
            if (!valueAttached) ++i;
            continue;
        }
        line.wrong = "unknown option " + std::string(arg);
        return line;
    }
    if (models.size() > 1) line.wrong = "one model at a time";
    else if (models.size() == 1 && models[0].empty()) line.wrong = "an empty path names no model";
    else if (models.size() == 1) line.model = models[0];
    return line;
}

int usageError(const std::string& why) {
    std::fprintf(stderr, "celshade: %s\n%s", why.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (answeredAtOnce(argc, argv, status)) return status;
    const CommandLine line = checkCommandLine(argc, argv);
    if (!line.wrong.empty()) return usageError(line.wrong);
    rt::setMallocPolicy();  // for the whole process, before anything is allocated in bulk
    QApplication app(argc, argv);
    ui::installQtEventProcessing();
    Form2 form2(Form2Links::program());
    if (!line.model.empty()) form2.selectModelFile(line.model);
    form2.show();
    // What the first STAR would wait for is loaded while the user chooses.
    ui::warmUpSoon();
    return app.exec();
}
