// The device's programmable-shader methods: creation from declaration and function tokens,
// the constant registers and deletion. Drawing with a shader goes through ShaderStage.
#include <cstring>
#include <string>

#include "d3d8/Direct3DDevice8.h"
#include "d3d8/ShaderStage.h"
#include "runtime/Status.h"
#include "vs/Declaration.h"
#include "vs/Program.h"

namespace {

// The token arrays come without a length; both readers stop at their end token, and this
// only bounds how far a stream that lacks one is followed.
constexpr size_t kMaxTokens = size_t{1} << 20;

}  // namespace

uint32_t Direct3DDevice8::CreateVertexShader(const uint32_t* declaration, const uint32_t* function,
                                             uint32_t usage) {
    const char* call = "CreateVertexShader";
    if (!declaration) rt::raiseInvalidCall(call, "no declaration");
    if (!function)
        rt::raiseInvalidCall(call,
                             "no function tokens (fixed-function processing through a declaration is not supported)");
    if (usage & ~D3DUSAGE_SOFTWAREPROCESSING)
        rt::raiseInvalidCall(call, "usage " + std::to_string(usage) + " is not supported");
    vs::Declaration decl = vs::parseDeclaration({declaration, kMaxTokens});
    const vs::Program program = vs::decodeProgram({function, kMaxTokens});
    if (nextShaderHandle_ < kFirstShaderHandle) rt::raiseStatus(E_OUTOFMEMORY, call, "no shader handles left");
    const uint32_t handle = nextShaderHandle_++;
    vertexShaders_[handle] = std::make_shared<ShaderStage>(std::move(decl), program);
    return handle;
}

void Direct3DDevice8::SetVertexShaderConstant(uint32_t reg, const void* constantData, uint32_t constantCount) {
    const char* call = "SetVertexShaderConstant";
    if (uint64_t{reg} + constantCount > kVertexShaderConstantCount)
        rt::raiseInvalidCall(
            call, "registers c" + std::to_string(reg) + " + " + std::to_string(constantCount) + " go beyond c95");
    if (constantCount == 0) return;
    if (!constantData) rt::raiseInvalidCall(call, "no constant data");
    std::memcpy(&shaderConstants_[reg], constantData, size_t{constantCount} * sizeof(D3DXVECTOR4));
}

void Direct3DDevice8::DeleteVertexShader(uint32_t handle) {
    auto found = vertexShaders_.find(handle);
    if (found == vertexShaders_.end())
        rt::raiseInvalidCall("DeleteVertexShader", "handle " + std::to_string(handle) + " is not a vertex shader");
    // A deleted shader that is still selected keeps drawing until another one is set.
    vertexShaders_.erase(found);
}
