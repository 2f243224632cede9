#include "gl/Programs.h"

#include <epoxy/gl.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "runtime/D3DStates.h"
#include "runtime/Status.h"

namespace gl {
namespace {

// The vertex shader in two pieces around the shade qualifier.
const char* const kVertexHead = R"(#version 330 core
layout(location = 0) in vec4 position;
layout(location = 1) in vec4 color;
layout(location = 2) in vec2 texcoord;
// Moves Direct3D clip coordinates to OpenGL's: half a pixel so that pixel centres fall on
// integer screen coordinates, y negated because the target's rows run top row first (see
// Rasterizer.h), z from [0, w] to [-w, w].
uniform vec2 pixelStep;
)";
const char* const kVertexTail = R"(out vec4 vColor;
out vec2 vTexcoord;
void main() {
    gl_Position = vec4(position.x + position.w * pixelStep.x,
                       -position.y + position.w * pixelStep.y,
                       2.0 * position.z - position.w, position.w);
    vColor = color;
    vTexcoord = texcoord;
}
)";

// One triangle covering the viewport; each fragment reads the colour buffer's texel under it,
// rows flipped (the buffer's rows run top first, the window's bottom up). At equal sizes the
// coordinate falls on the texel's centre, so nearest filtering copies it exactly.
const char* const kPresentVertex = R"(#version 330 core
void main() {
    vec2 corner = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
    gl_Position = vec4(corner, 0.0, 1.0);
}
)";
const char* const kPresentFragment = R"(#version 330 core
uniform sampler2D colorBuffer;
uniform vec2 targetSize;
out vec4 fragColor;
void main() {
    fragColor = texture(colorBuffer, vec2(gl_FragCoord.x / targetSize.x, 1.0 - gl_FragCoord.y / targetSize.y));
}
)";

// Joins pieces by appending; building GLSL with chains of operator+ trips a false
// -Wrestrict in GCC 12's optimizer.
std::string concatenate(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) out.append(part);
    return out;
}

[[noreturn]] void unsupported(const char* call, const std::string& what) {
    rt::raiseStatus(D3DERR_INVALIDCALL, call, concatenate({"texture stage 0 ", what, " is not supported"}));
}

std::string argument(uint32_t arg, const char* swizzle, const char* call) {
    std::string base;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: base = "diffuse"; break;
    case D3DTA_CURRENT: base = "diffuse"; break;  // stage 0: CURRENT is the diffuse colour
    case D3DTA_TEXTURE: base = "tex"; break;
    case D3DTA_TFACTOR: base = "factor"; break;
    default: unsupported(call, "argument " + std::to_string(arg));
    }
    if (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE))
        unsupported(call, "argument " + std::to_string(arg));
    std::string value = (arg & D3DTA_ALPHAREPLICATE) ? concatenate({"vec4(", base, ".a)"}) : base;
    if (arg & D3DTA_COMPLEMENT) value = concatenate({"(vec4(1.0) - ", value, ")"});
    return concatenate({value, ".", swizzle});
}

std::string operation(uint32_t op, uint32_t arg1, uint32_t arg2, const char* swizzle, const char* call) {
    auto a = [&] { return argument(arg1, swizzle, call); };
    auto b = [&] { return argument(arg2, swizzle, call); };
    switch (op) {
    case D3DTOP_DISABLE: return std::string("diffuse.") + swizzle;
    case D3DTOP_SELECTARG1: return a();
    case D3DTOP_SELECTARG2: return b();
    case D3DTOP_MODULATE: return concatenate({a(), " * ", b()});
    case D3DTOP_MODULATE2X: return concatenate({"min(2.0 * ", a(), " * ", b(), ", 1.0)"});
    case D3DTOP_MODULATE4X: return concatenate({"min(4.0 * ", a(), " * ", b(), ", 1.0)"});
    case D3DTOP_ADD: return concatenate({"min(", a(), " + ", b(), ", 1.0)"});
    case D3DTOP_ADDSIGNED: return concatenate({"clamp(", a(), " + ", b(), " - 0.5, 0.0, 1.0)"});
    case D3DTOP_SUBTRACT: return concatenate({"max(", a(), " - ", b(), ", 0.0)"});
    default: unsupported(call, "operation " + std::to_string(op));
    }
}

const char* comparison(uint32_t func, const char* call) {
    switch (func) {
    case D3DCMP_NEVER: return "false";
    case D3DCMP_LESS: return "level < alphaRef";
    case D3DCMP_EQUAL: return "level == alphaRef";
    case D3DCMP_LESSEQUAL: return "level <= alphaRef";
    case D3DCMP_GREATER: return "level > alphaRef";
    case D3DCMP_NOTEQUAL: return "level != alphaRef";
    case D3DCMP_GREATEREQUAL: return "level >= alphaRef";
    case D3DCMP_ALWAYS: return "true";
    default:
        rt::raiseStatus(D3DERR_INVALIDCALL, call, "alpha function " + std::to_string(func) + " is not a comparison");
    }
}

uint32_t compile(GLenum type, const std::string& source, const char* call) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        glDeleteShader(shader);
        rt::raiseStatus(D3DERR_DRIVERINTERNALERROR, call, concatenate({"glCompileShader: ", log}));
    }
    return shader;
}

std::string vertexShaderSource(const ProgramKey& key) {
    return concatenate({kVertexHead, key.flat ? "flat " : "", kVertexTail});
}

uint32_t link(const std::string& vertexSource, const std::string& fragmentSource, const char* call) {
    GLuint vs = compile(GL_VERTEX_SHADER, vertexSource, call);
    GLuint fs = compile(GL_FRAGMENT_SHADER, fragmentSource, call);
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetProgramInfoLog(program, sizeof log, nullptr, log);
        glDeleteProgram(program);
        rt::raiseStatus(D3DERR_DRIVERINTERNALERROR, call, concatenate({"glLinkProgram: ", log}));
    }
    return program;
}

}  // namespace

uint64_t ProgramKey::packed() const {
    const CombinerState& c = combiner;
    uint64_t k = c.colorOp;
    for (uint32_t v : {c.colorArg1, c.colorArg2, c.alphaOp, c.alphaArg1, c.alphaArg2, alphaFunc})
        k = (k << 8) | (v & 0xFF);
    return (k << 2) | (flat ? 2u : 0u) | (textured ? 1u : 0u);
}

std::string fragmentShaderSource(const ProgramKey& key, const char* call) {
    const CombinerState& c = key.combiner;
    std::string color = operation(c.colorOp, c.colorArg1, c.colorArg2, "rgb", call);
    // A disabled colour operation disables the whole stage, alpha included.
    std::string alpha = c.colorOp == D3DTOP_DISABLE
                            ? std::string("diffuse.a")
                            : operation(c.alphaOp, c.alphaArg1, c.alphaArg2, "a", call);
    std::string s = "#version 330 core\n";
    s += key.flat ? "flat in vec4 vColor;\n" : "in vec4 vColor;\n";
    s += "in vec2 vTexcoord;\nuniform sampler2D stageTexture;\nuniform vec4 textureFactor;\n"
         "uniform float alphaRef;\nout vec4 fragColor;\nvoid main() {\n"
         "    vec4 diffuse = clamp(vColor, 0.0, 1.0);\n";
    s += key.textured ? "    vec4 tex = texture(stageTexture, vTexcoord);\n"
                      : "    vec4 tex = vec4(1.0);\n";
    s += "    vec4 factor = textureFactor;\n";
    s += concatenate({"    vec4 result = vec4(", color, ", ", alpha, ");\n"});
    if (key.alphaFunc != 0) {
        // The test compares 8-bit values: the alpha rounded to 0..255 against the reference.
        s += "    float level = floor(clamp(result.a, 0.0, 1.0) * 255.0 + 0.5);\n";
        s += concatenate({"    if (!(", comparison(key.alphaFunc, call), ")) discard;\n"});
    }
    s += "    fragColor = result;\n}\n";
    return s;
}

Programs::~Programs() {
    for (auto& [key, program] : programs_) glDeleteProgram(program.id);
    if (present_.id != 0) glDeleteProgram(present_.id);
}

const PresentProgram& Programs::present(const char* call) {
    if (present_.id != 0) return present_;
    present_.id = link(kPresentVertex, kPresentFragment, call);
    present_.targetSize = glGetUniformLocation(present_.id, "targetSize");
    glUseProgram(present_.id);
    glUniform1i(glGetUniformLocation(present_.id, "colorBuffer"), 0);
    return present_;
}

Program& Programs::get(const ProgramKey& key, const char* call) {
    uint64_t packed = key.packed();
    auto found = programs_.find(packed);
    if (found != programs_.end()) return found->second;
    Program program;
    program.id = link(vertexShaderSource(key), fragmentShaderSource(key, call), call);
    program.pixelStep = glGetUniformLocation(program.id, "pixelStep");
    program.textureFactor = glGetUniformLocation(program.id, "textureFactor");
    program.alphaRef = glGetUniformLocation(program.id, "alphaRef");
    program.texture = glGetUniformLocation(program.id, "stageTexture");
    glUseProgram(program.id);
    if (program.texture >= 0) glUniform1i(program.texture, 0);
    return programs_.emplace(packed, program).first->second;
}

}  // namespace gl
