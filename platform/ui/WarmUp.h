#pragma once
// Loading that the first scene setup would otherwise wait for, done while the start dialog
// waits for the user to choose:
//  - the OpenGL driver: a throw-away context made current on an off-screen surface loads and
//    starts it, and it stays loaded for the windows made later. On the software rasterizer
//    this is most of the cost of a window's first context (its code generator is a library of
//    tens of megabytes);
//  - Qt's image format plugins: reading an image whose format is taken from its content (the
//    ramp texture) loads every one of them to ask.
// Memory is not prepared here: the render window's load lays out heap for the chosen model
// when it starts (runtime/Heap.h), which costs no resident memory while the dialog waits.
// Nothing here is visible, and nothing fails: where there is no OpenGL 3.3 core, the render
// window reports that itself when it is made. Once a window has made its context the
// warm-up does nothing: the scene it was for is being drawn.

namespace ui {

void warmUp();
// warmUp a quarter of a second from now, when a window just shown has been painted.
void warmUpSoon();

}  // namespace ui
