#include "gl/Rasterizer.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "gl/Programs.h"
#include "gl/TextureCache.h"
#include "runtime/Status.h"

namespace gl {
namespace {

// Textures unused for this many presented frames give back their OpenGL copy.
constexpr uint32_t kTextureIdleFrames = 120;

GLenum compareFunction(const char* call, uint32_t func) {
    switch (func) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    case D3DCMP_ALWAYS: return GL_ALWAYS;
    }
    rt::raiseStatus(D3DERR_INVALIDCALL, call, "depth function " + std::to_string(func) + " is not a comparison");
}

GLenum blendFactor(const char* call, uint32_t factor) {
    switch (factor) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    }
    rt::raiseStatus(D3DERR_INVALIDCALL, call, "blend factor " + std::to_string(factor) + " is not supported");
}

struct BlendFactors {
    GLenum source, destination;
};

// BOTHSRCALPHA and BOTHINVSRCALPHA, given as the source factor, set the destination's too.
BlendFactors blendFactors(const char* call, uint32_t source, uint32_t destination) {
    if (source == D3DBLEND_BOTHSRCALPHA) return {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
    if (source == D3DBLEND_BOTHINVSRCALPHA) return {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA};
    return {blendFactor(call, source), blendFactor(call, destination)};
}

GLenum blendEquation(const char* call, uint32_t op) {
    switch (op) {
    case D3DBLENDOP_ADD: return GL_FUNC_ADD;
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    }
    rt::raiseStatus(D3DERR_INVALIDCALL, call, "blend operation " + std::to_string(op) + " is not supported");
}

GLenum addressMode(uint32_t mode) {
    switch (mode) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;
    }
}

GLenum minificationFilter(uint32_t minFilter, uint32_t mipFilter) {
    bool linear = minFilter != D3DTEXF_POINT;
    if (mipFilter == D3DTEXF_NONE) return linear ? GL_LINEAR : GL_NEAREST;
    if (mipFilter == D3DTEXF_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
}

void setEnabled(GLenum cap, bool on) {
    if (on) glEnable(cap);
    else glDisable(cap);
}

void colorOf(uint32_t argb, float out[4]) {
    out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
    out[3] = static_cast<float>(argb >> 24) / 255.0f;
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// OpenGL records failures instead of reporting them; a draw or clear that failed must not
// pass for one that worked. `call` is the device method, `glFunction` the last GL call.
void checkError(const char* call, const char* glFunction) {
    GLenum error = glGetError();
    if (error == GL_NO_ERROR) return;
    while (glGetError() != GL_NO_ERROR) {
    }
    HRESULT status = error == GL_OUT_OF_MEMORY ? D3DERR_OUTOFVIDEOMEMORY : D3DERR_DRIVERINTERNALERROR;
    rt::raiseStatus(status, call, std::string(glFunction) + ": OpenGL error " + hex(error));
}

void checkFramebuffer(const char* call) {
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE)
        rt::raiseStatus(D3DERR_NOTAVAILABLE, call,
                        "the back buffer cannot be created (status " + hex(status) + ")");
}

}  // namespace

Rasterizer::Rasterizer(uint32_t width, uint32_t height, const char* call)
    : width_(width), height_(height), programs_(std::make_unique<Programs>()),
      textures_(std::make_unique<TextureCache>()) {
    createTarget(call);
    createVertexInput();
    glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    // Flat shading takes the first vertex's colour, as Direct3D does.
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    glFrontFace(GL_CCW);
    glPointSize(1.0f);
    glLineWidth(1.0f);
    glDisable(GL_DITHER);
}

void Rasterizer::setLineWidth(uint32_t pixels) {
    GLfloat range[2] = {1.0f, 1.0f};
    glGetFloatv(GL_ALIASED_LINE_WIDTH_RANGE, range);
    const GLfloat width = std::clamp(static_cast<GLfloat>(pixels), 1.0f, std::max(1.0f, range[1]));
    glLineWidth(width);
    glPointSize(width);
}

void Rasterizer::createTarget(const char* call) {
    const auto w = static_cast<GLsizei>(width_), h = static_cast<GLsizei>(height_);
    // A texture rather than a renderbuffer: present() draws it to the window.
    glGenTextures(1, &colorTexture_);
    glBindTexture(GL_TEXTURE_2D, colorTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    setColorTextureFilter(GL_NEAREST);
    glGenRenderbuffers(1, &depthBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, w, h);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTexture_, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    checkFramebuffer(call);
    checkError(call, "glRenderbufferStorage");
}

void Rasterizer::createVertexInput() {
    const GLsizei stride = sizeof(Vertex);
    glGenVertexArrays(1, &vertexArray_);
    glBindVertexArray(vertexArray_);
    glGenBuffers(1, &vertexBuffer_);
    glGenBuffers(1, &indexBuffer_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, x)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, r)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, u)));
    glGenVertexArrays(1, &presentVertexArray_);  // present() reads no attributes
    glGenSamplers(1, &sampler_);
    glBindSampler(0, sampler_);
}

Rasterizer::~Rasterizer() {
    textures_.reset();
    programs_.reset();
    glDeleteSamplers(1, &sampler_);
    glDeleteBuffers(1, &indexBuffer_);
    glDeleteBuffers(1, &vertexBuffer_);
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteRenderbuffers(1, &depthBuffer_);
    glDeleteTextures(1, &colorTexture_);
    glDeleteVertexArrays(1, &presentVertexArray_);
}

void Rasterizer::clear(std::span<const Rect> rects, bool color, uint32_t argb, bool depth, float z,
                       const char* call) {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    GLbitfield mask = 0;
    if (color) {
        float c[4];
        colorOf(argb, c);
        glClearColor(c[0], c[1], c[2], c[3]);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (depth) {
        glClearDepth(std::clamp(z, 0.0f, 1.0f));
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (mask == 0) return;
    if (rects.empty()) {
        glClear(mask);
    } else {
        glEnable(GL_SCISSOR_TEST);
        for (const Rect& r : rects) {
            int32_t x1 = std::clamp<int32_t>(r.x1, 0, static_cast<int32_t>(width_));
            int32_t x2 = std::clamp<int32_t>(r.x2, 0, static_cast<int32_t>(width_));
            int32_t y1 = std::clamp<int32_t>(r.y1, 0, static_cast<int32_t>(height_));
            int32_t y2 = std::clamp<int32_t>(r.y2, 0, static_cast<int32_t>(height_));
            if (x2 <= x1 || y2 <= y1) continue;
            glScissor(x1, y1, x2 - x1, y2 - y1);
            glClear(mask);
        }
        glDisable(GL_SCISSOR_TEST);
    }
    checkError(call, "glClear");
    // Clearing ignores the write masks; put the drawing masks back.
    if (haveApplied_) {
        uint32_t m = applied_.colorWriteMask;
        glColorMask(m & 1, (m >> 1) & 1, (m >> 2) & 1, (m >> 3) & 1);
        glDepthMask(applied_.depthWrite ? GL_TRUE : GL_FALSE);
    }
}

void Rasterizer::applyFixedFunction(const RasterState& s, const char* call) {
    const RasterState& a = applied_;
    bool all = !haveApplied_;
    if (all || s.cullMode != a.cullMode) {
        setEnabled(GL_CULL_FACE, s.cullMode != D3DCULL_NONE);
        // With rows top first OpenGL sees Direct3D's screen coordinates unchanged, so what
        // looks counter-clockwise on screen has negative area: OpenGL's clockwise.
        glCullFace(s.cullMode == D3DCULL_CW ? GL_FRONT : GL_BACK);
    }
    if (all || s.depthEnable != a.depthEnable) setEnabled(GL_DEPTH_TEST, s.depthEnable);
    if (all || s.depthWrite != a.depthWrite) glDepthMask(s.depthWrite ? GL_TRUE : GL_FALSE);
    if (all || s.depthFunc != a.depthFunc) glDepthFunc(compareFunction(call, s.depthFunc));
    if (all || s.blend != a.blend) setEnabled(GL_BLEND, s.blend);
    if (s.blend && (all || s.srcBlend != a.srcBlend || s.destBlend != a.destBlend ||
                    s.blendOp != a.blendOp || !a.blend)) {
        const BlendFactors factors = blendFactors(call, s.srcBlend, s.destBlend);
        glBlendFunc(factors.source, factors.destination);
        glBlendEquation(blendEquation(call, s.blendOp));
    }
    if (all || s.colorWriteMask != a.colorWriteMask) {
        uint32_t m = s.colorWriteMask;
        glColorMask(m & 1, (m >> 1) & 1, (m >> 2) & 1, (m >> 3) & 1);
    }
}

void Rasterizer::applySampler(const SamplerState& s) {
    if (haveSampler_ && s == appliedSampler_) return;
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, static_cast<GLint>(addressMode(s.addressU)));
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, static_cast<GLint>(addressMode(s.addressV)));
    glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER,
                        s.magFilter == D3DTEXF_POINT ? GL_NEAREST : GL_LINEAR);
    glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER,
                        static_cast<GLint>(minificationFilter(s.minFilter, s.mipFilter)));
    float border[4];
    colorOf(s.borderColor, border);
    glSamplerParameterfv(sampler_, GL_TEXTURE_BORDER_COLOR, border);
    appliedSampler_ = s;
    haveSampler_ = true;
}

void Rasterizer::applyState(const RasterState& s, const char* call) {
    applyFixedFunction(s, call);
    applied_ = s;
    applied_.texture = nullptr;
    haveApplied_ = true;

    ProgramKey key{s.combiner, s.alphaTest ? s.alphaFunc : 0u, s.flatShading, s.texture != nullptr};
    Program& program = programs_->get(key, call);
    if (boundProgram_ != program.id) {
        glUseProgram(program.id);
        boundProgram_ = program.id;
    }
    float stepX = 1.0f / static_cast<float>(width_);
    float stepY = 1.0f / static_cast<float>(height_);
    if (program.sentStepX != stepX || program.sentStepY != stepY) {
        glUniform2f(program.pixelStep, stepX, stepY);
        program.sentStepX = stepX;
        program.sentStepY = stepY;
    }
    if (program.textureFactor >= 0 && (!program.sentFactorValid || program.sentFactor != s.textureFactor)) {
        float f[4];
        colorOf(s.textureFactor, f);
        glUniform4fv(program.textureFactor, 1, f);
        program.sentFactor = s.textureFactor;
        program.sentFactorValid = true;
    }
    float ref = static_cast<float>(s.alphaRef & 0xFF);
    if (program.alphaRef >= 0 && program.sentRef != ref) {
        glUniform1f(program.alphaRef, ref);
        program.sentRef = ref;
    }
    if (s.texture) {
        textures_->bind(*s.texture);
        applySampler(s.sampler);
    }
}

// Fresh storage for both buffers, so that a draw never waits for an earlier one still reading
// the old. A failed upload is reported here, under its own name: the draw must not go on with
// buffers the driver could not fill.
void Rasterizer::upload(std::span<const Vertex> vertices, std::span<const uint32_t> indices,
                        std::span<const uint32_t> pointIndices, const char* call) {
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size_bytes()), vertices.data(), GL_STREAM_DRAW);
    const std::size_t indexBytes = indices.size_bytes();
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexBytes + pointIndices.size_bytes()), nullptr,
                 GL_STREAM_DRAW);
    checkError(call, "glBufferData");
    glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(indexBytes), indices.data());
    if (!pointIndices.empty())
        glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLintptr>(indexBytes),
                        static_cast<GLsizeiptr>(pointIndices.size_bytes()), pointIndices.data());
}

void Rasterizer::draw(Primitive primitive, std::span<const Vertex> vertices,
                      std::span<const uint32_t> indices, std::span<const uint32_t> pointIndices,
                      const RasterState& state, const char* call) {
    if (indices.empty() && pointIndices.empty()) return;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    applyState(state, call);
    upload(vertices, indices, pointIndices, call);
    GLenum mode = primitive == Primitive::Triangles ? GL_TRIANGLES
                : primitive == Primitive::Lines     ? GL_LINES
                                                    : GL_POINTS;
    if (!indices.empty())
        glDrawElements(mode, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, nullptr);
    if (!pointIndices.empty())
        glDrawElements(GL_POINTS, static_cast<GLsizei>(pointIndices.size()), GL_UNSIGNED_INT,
                       reinterpret_cast<void*>(indices.size_bytes()));
    checkError(call, "glDrawElements");
}

std::vector<uint32_t> Rasterizer::readPixels() {
    std::vector<uint32_t> pixels(std::size_t{width_} * height_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_), GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    return pixels;
}

void Rasterizer::setColorTextureFilter(int filter) {
    if (filter == colorTextureFilter_) return;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    colorTextureFilter_ = filter;
}

// A triangle over the whole window whose fragments read the colour buffer with rows flipped,
// rather than glBlitFramebuffer: llvmpipe's blitter builds its shaders on first use in every
// context, which cost a new process 40 ms at its first present, while this program is an
// ordinary one that the driver's shader cache keeps across runs. The state it changes is
// set again by the next draw.
void Rasterizer::present(uint32_t framebuffer, uint32_t width, uint32_t height, const char* call) {
    const PresentProgram& program = programs_->present(call);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glUseProgram(program.id);
    glUniform2f(program.targetSize, static_cast<float>(width), static_cast<float>(height));
    glBindSampler(0, 0);
    glBindTexture(GL_TEXTURE_2D, colorTexture_);
    // Same size: each window pixel takes its own texel; otherwise the picture is stretched.
    setColorTextureFilter(width == width_ && height == height_ ? GL_NEAREST : GL_LINEAR);
    glBindVertexArray(presentVertexArray_);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    checkError(call, "glDrawArrays");

    // Left bound, the colour buffer would be both drawn to and a texture of the next draws.
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_));
    glBindSampler(0, sampler_);
    haveApplied_ = false;
    boundProgram_ = 0;
}

void Rasterizer::finish() { glFinish(); }

void Rasterizer::flush() { glFlush(); }

void Rasterizer::endFrame() { textures_->endFrame(kTextureIdleFrames); }

}  // namespace gl
