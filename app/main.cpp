// The program begins at the start dialog; everything else is created from it.

#include <QApplication>

#include "dialog/Form2.h"
#include "ui/ErrorReport.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::installQtEventProcessing();
    Form2 form2(Form2Links::program());
    form2.show();
    return app.exec();
}
