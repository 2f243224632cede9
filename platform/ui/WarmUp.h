#pragma once
// Loading that the first scene setup would otherwise wait for, done while the start dialog
// waits for the user to choose:
//  - the OpenGL driver: a throw-away context made current on an off-screen surface loads and
//    starts it, and it stays loaded for the windows made later. On the software rasterizer
//    this is most of the cost of a window's first context (its code generator is a library of
//    tens of megabytes);
//  - Qt's image format plugins: reading an image whose format is taken from its content (the
//    ramp texture) loads every one of them to ask;
//  - memory: the first scene setup fills tens of megabytes of fresh heap, and on a virtual
//    machine each 4 KB page's first touch costs a fault. The heap is grown now, on 2 MB pages
//    where the kernel allows, touched once and kept for the setup (the rose's first STAR went
//    from about 530 to 390 ms with the machine busy, the box's from 290 to 210 ms).
// Nothing here is visible, and nothing fails: where there is no OpenGL 3.3 core, the render
// window reports that itself when it is made.

namespace ui {

void warmUp();
// warmUp a quarter of a second from now, when a window just shown has been painted.
void warmUpSoon();

}  // namespace ui
