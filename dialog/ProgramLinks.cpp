#include "d3dsupport/Mdx8.h"
#include "dialog/Form2.h"
#include "render/Form1.h"
#include "runtime/ProcessEnd.h"

Form2Links Form2Links::program() {
    Form2Links links;
    links.showRenderWindow = [] { Form1::instance().show(); };
    links.restartScene = [] { Form1::instance().STAR(); };
    links.shutdown = [](bool endProgram) { Mdx8::shutdown(endProgram); };
    links.endProgram = [] { rt::endProcessNow(0); };
    return links;
}
