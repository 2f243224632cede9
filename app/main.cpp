// The program begins at the start dialog; everything else is created from it. A model file
// named on the command line is chosen in it for STAR instead of the first of the five.

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstring>

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
    "for STAR instead of the first of the five (a file dropped on either window is too).\n"
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

int usageError(const QString& why) {
    std::fprintf(stderr, "celshade: %s\n%s", why.toLocal8Bit().constData(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (answeredAtOnce(argc, argv, status)) return status;
    rt::setMallocPolicy();  // for the whole process, before anything is allocated in bulk
    QApplication app(argc, argv);
    ui::installQtEventProcessing();
    // Qt has taken its own options; what is left is at most the user's model.
    QStringList args = QCoreApplication::arguments().mid(1);
    const qsizetype end = args.indexOf(QStringLiteral("--"));
    for (qsizetype i = 0; i < (end < 0 ? args.size() : end); ++i)
        if (args[i].startsWith(QLatin1Char('-'))) return usageError(QStringLiteral("unknown option ") + args[i]);
    if (end >= 0) args.removeAt(end);
    if (args.size() > 1) return usageError(QStringLiteral("one model at a time"));
    if (args.size() == 1 && args[0].isEmpty()) return usageError(QStringLiteral("an empty path names no model"));
    Form2 form2(Form2Links::program());
    if (args.size() == 1) form2.selectModelFile(args[0].toStdString());
    form2.show();
    // What the first STAR would wait for is loaded while the user chooses.
    ui::warmUpSoon();
    return app.exec();
}
