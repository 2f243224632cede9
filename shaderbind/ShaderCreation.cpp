#include "shaderbind/ShaderCreation.h"

#include <bit>
#include <cstddef>

#include "d3d8/Direct3DDevice8.h"
#include "d3dx8/D3DX8.h"
#include "runtime/Rounding.h"
#include "shaderbind/D3DShaders.h"
#include "shaderbind/MeshVertex.h"

namespace D3DShaders {

// A declaration packs its stream's elements in order, so the cel pass's FLOAT3, FLOAT3,
// FLOAT2 read MeshVertex field by field.
static_assert(offsetof(MeshVertex, normal) == 3 * sizeof(float) && offsetof(MeshVertex, u) == 6 * sizeof(float) &&
              kMeshVertexStride == 8 * sizeof(float));

std::array<uint32_t, 5> celShaderDeclaration() {
    return {vsdStream(0), vsdReg(0, D3DVSDT_FLOAT3), vsdReg(3, D3DVSDT_FLOAT3), vsdReg(7, D3DVSDT_FLOAT2), vsdEnd()};
}

std::array<uint32_t, 5> edgeShaderDeclaration() {
    return {vsdStream(0), vsdReg(0, D3DVSDT_FLOAT3), vsdReg(3, D3DVSDT_FLOAT3), vsdReg(6, D3DVSDT_FLOAT3), vsdEnd()};
}

std::vector<uint32_t> codeArrayOf(D3DX8& d3dx, const D3DXBuffer& code) {
    const uint32_t size = code.GetBufferSize();
    const int32_t n = rt::roundToInt32(static_cast<double>(size) / 4.0);
    // n + 1 words always hold the size bytes: (n + 1) * 4 >= size + 2.
    std::vector<uint32_t> words(static_cast<size_t>(n) + 1, 0u);
    d3dx.BufferGetData(code, 0, 1, size, words.data());
    return words;
}

int32_t createVertexShaderFromFile(std::shared_ptr<D3DX8>& d3dx, Direct3DDevice8& device,
                                   const std::string& fileName, std::span<const uint32_t> declaration) {
    if (!d3dx) d3dx = std::make_shared<D3DX8>();
    std::string errors;
    std::shared_ptr<D3DXBuffer> constants;
    std::shared_ptr<D3DXBuffer> code = d3dx->AssembleShaderFromFile(fileName, 0, &errors, &constants);
    // The assembler's messages and the program's own constants are not used: the declaration
    // given here is the only one the device receives.
    errors.clear();
    constants.reset();
    const std::vector<uint32_t> words = codeArrayOf(*d3dx, *code);
    code.reset();
    const uint32_t handle = device.CreateVertexShader(declaration.data(), words.data(), D3DUSAGE_SOFTWAREPROCESSING);
    device.SetVertexShader(handle);
    return std::bit_cast<int32_t>(handle);
}

}  // namespace D3DShaders
