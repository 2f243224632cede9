#pragma once
// Loading that the first scene setup would otherwise wait for, done while the start dialog
// waits for the user to choose:
//  - the OpenGL driver: a throw-away context made current on an off-screen surface loads and
//    starts it, and it stays loaded for the windows made later. On the software rasterizer
//    this is most of the cost of a window's first context (its code generator is a library of
//    tens of megabytes);
//  - Qt's image format plugins: reading an image whose format is taken from its content (the
//    ramp texture) loads every one of them to ask;
//  - memory: the first scene setup fills tens of megabytes of fresh heap and large arrays,
//    and on a virtual machine the first write to memory costs far more than computing with
//    it (more still for memory the host took back while it was idle). The heap is grown by
//    60 MB and 48 MB of large pages are reserved for the large arrays, both on 2 MB pages
//    where the kernel allows, and faulted in on a thread of its own so that the dialog stays
//    responsive (this took about 100 ms off the rose's first STAR on the development machine).
// Nothing here is visible, and nothing fails: where there is no OpenGL 3.3 core, the render
// window reports that itself when it is made. Once a window has made its context the
// warm-up does nothing: the scene it was for is being drawn.

namespace ui {

void warmUp();
// warmUp a quarter of a second from now, when a window just shown has been painted.
void warmUpSoon();

}  // namespace ui
