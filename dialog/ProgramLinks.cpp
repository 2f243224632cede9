#include <cstdio>
#include <cstdlib>

#include "d3dsupport/Mdx8.h"
#include "dialog/Form2.h"
#include "render/Form1.h"

Form2Links Form2Links::program() {
    Form2Links links;
    links.showRenderWindow = [] { Form1::instance().show(); };
    links.restartScene = [] { Form1::instance().STAR(); };
    links.shutdown = [](bool endProgram) { Mdx8::shutdown(endProgram); };
    // "At once": no further window event and no destructor runs, only the output is flushed.
    links.endProgram = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };
    return links;
}
