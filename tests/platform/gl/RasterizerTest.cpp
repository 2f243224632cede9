// A draw whose upload the driver refuses for lack of memory reports that, and the draws after
// it upload afresh: none is left with buffers the driver never filled (which OpenGL would
// report as an invalid value, hiding the real cause).
#include "gl/Rasterizer.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "gl/OffscreenContext.h"
#include "gl/Programs.h"
#include "runtime/Error.h"
#include "runtime/Status.h"

namespace {

// The driver's glBufferData, failing the next `failures` calls as a driver out of memory does:
// the error is recorded and the buffer is left as it was.
decltype(epoxy_glBufferData) realBufferData;
decltype(epoxy_glGetError) realGetError;
int failures = 0;
GLenum recorded = GL_NO_ERROR;

void failingBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage) {
    if (failures > 0) {
        --failures;
        if (recorded == GL_NO_ERROR) recorded = GL_OUT_OF_MEMORY;
        return;
    }
    realBufferData(target, size, data, usage);
}

GLenum getErrorWithRecorded() {
    const GLenum error = recorded;
    recorded = GL_NO_ERROR;
    return error != GL_NO_ERROR ? error : realGetError();
}

TEST(Rasterizer, AfterAnUploadOutOfMemoryLaterDrawsUploadAfresh) {
    gl::OffscreenContext context;
    context.makeCurrent();
    gl::Rasterizer rasterizer(8, 8, "Test");
    const gl::Vertex triangle[] = {{-1, -1, 0, 1, 1, 1, 1, 1, 0, 0}, {1, -1, 0, 1, 1, 1, 1, 1, 0, 0},
                                   {0, 1, 0, 1, 1, 1, 1, 1, 0, 0}};
    const uint32_t corners[] = {0, 1, 2};
    gl::RasterState state;
    state.cullMode = D3DCULL_NONE;
    state.depthEnable = false;
    auto draw = [&] { rasterizer.draw(gl::Primitive::Triangles, triangle, corners, {}, state, "DrawPrimitive"); };
    draw();  // the driver's entry points are looked up on first use, before they are replaced

    realBufferData = epoxy_glBufferData;
    realGetError = epoxy_glGetError;
    epoxy_glBufferData = failingBufferData;
    epoxy_glGetError = getErrorWithRecorded;
    failures = 1;
    try {
        draw();
        ADD_FAILURE() << "the refused upload drew";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), D3DERR_OUTOFVIDEOMEMORY) << e.text();
    }
    for (int i = 0; i < 40; ++i) {
        try {
            draw();
        } catch (const rt::Error& e) {
            ADD_FAILURE() << "draw " << i << " after the refusal: " << e.text();
            break;
        }
    }
    epoxy_glBufferData = realBufferData;
    epoxy_glGetError = realGetError;
    EXPECT_EQ(rasterizer.readPixels()[4 * 8 + 4], 0xFFFFFFFFu);
}

// The key that caches the combiner's generated fragment programs.
gl::ProgramKey key(uint32_t colorOp, uint32_t arg1, uint32_t arg2, uint32_t alphaFunc = 0) {
    gl::ProgramKey k;
    k.combiner = {colorOp, arg1, arg2, 2, 0, 1};
    k.alphaFunc = alphaFunc;
    return k;
}

TEST(ProgramKey, PackingKeepsEveryFieldApart) {
    const gl::ProgramKey a = key(4, 2, 0, 4);
    gl::ProgramKey flat = a, textured = a, alphaArg2 = a;
    flat.flat = true;
    textured.textured = true;
    alphaArg2.combiner.alphaArg2 = 3;
    for (const gl::ProgramKey& b : {flat, textured, alphaArg2}) EXPECT_NE(a.packed(), b.packed());
}

}  // namespace
