// The program begins at the start dialog; everything else is created from it. A model file
// named on the command line is chosen in it for STAR instead of the first of the five.

#include <QApplication>
#include <QStringList>
#include <cstdio>

#include "dialog/Form2.h"
#include "runtime/Heap.h"
#include "ui/ErrorReport.h"
#include "ui/WarmUp.h"

int main(int argc, char** argv) {
    rt::setMallocPolicy();  // for the whole process, before anything is allocated in bulk
    QApplication app(argc, argv);
    ui::installQtEventProcessing();
    // Qt has taken its own options; what is left is at most the user's model.
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 2 || (args.size() == 2 && args[1].startsWith(QLatin1Char('-')))) {
        std::fprintf(stderr, "usage: celshade [MODEL.x]\n");
        return 2;
    }
    Form2 form2(Form2Links::program());
    if (args.size() == 2) form2.selectModelFile(args[1].toStdString());
    form2.show();
    // What the first STAR would wait for is loaded while the user chooses.
    ui::warmUpSoon();
    return app.exec();
}
