#pragma once
// The OpenGL programs that stand in for stage 0 of the texture combiner, the shade mode and
// the alpha test. Each combination compiles once to its own small program, so fragments run
// no branches on state.

#include <cstdint>
#include <string>
#include <unordered_map>

#include "gl/Rasterizer.h"

namespace gl {

struct ProgramKey {
    CombinerState combiner;
    uint32_t alphaFunc = 0;  // 0: no alpha test
    bool flat = false;
    bool textured = false;
    uint64_t packed() const;
};

struct Program {
    uint32_t id = 0;
    int pixelStep = -1, textureFactor = -1, alphaRef = -1, texture = -1;
    // Last values sent, so that unchanged uniforms are not sent again.
    float sentStepX = 0, sentStepY = 0, sentRef = -1;
    uint32_t sentFactor = 0;
    bool sentFactorValid = false;
};

// Draws the colour buffer to a window: see Rasterizer::present.
struct PresentProgram {
    uint32_t id = 0;
    int targetSize = -1;
};

// GLSL text of the fragment shader for a key (exposed for tests of the generator). Raises
// D3DERR_INVALIDCALL naming `call`, the drawing method, for an operation, argument or
// comparison that the combiner does not implement.
std::string fragmentShaderSource(const ProgramKey& key, const char* call);

class Programs {
public:
    Programs() = default;
    ~Programs();
    Programs(const Programs&) = delete;
    Programs& operator=(const Programs&) = delete;

    // The program for `key`, compiled on first use; failures name `call` as
    // fragmentShaderSource's do.
    Program& get(const ProgramKey& key, const char* call);
    // Compiled on first use.
    const PresentProgram& present(const char* call);

private:
    std::unordered_map<uint64_t, Program> programs_;
    PresentProgram present_;
};

}  // namespace gl
