#pragma once
// Turning a vertex-shader assembly file into a shader on the device: assemble, copy the code
// into a word array with one spare zero word, create with a fixed declaration, select it.
// The render window's creaVShader and creaVShader2 are this procedure with the cel-pass and
// edge-pass declarations.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class D3DX8;
class D3DXBuffer;
class Direct3DDevice8;

namespace D3DShaders {

// Stream 0 holds the scene mesh's MeshVertex (MeshVertex.h): v0 position (FLOAT3), v3 normal
// (FLOAT3), v7 texture coordinate (FLOAT2).
std::array<uint32_t, 5> celShaderDeclaration();
// Stream 0: v0 position, v3 normalA, v6 normalB (all FLOAT3); 36 bytes.
std::array<uint32_t, 5> edgeShaderDeclaration();

// The code words of an assembled buffer: indices 0..n with n = size / 4 rounded to the
// nearest (ties to even), the buffer copied to the front and the rest left 0.
std::vector<uint32_t> codeArrayOf(D3DX8& d3dx, const D3DXBuffer& code);

// Assembles fileName (creating d3dx first if it is null), creates the shader with
// `declaration` and software-processing usage, makes it the current vertex shader and
// returns its handle. Constants the program defines are dropped. Failures raise rt::Error
// with the platform status.
int32_t createVertexShaderFromFile(std::shared_ptr<D3DX8>& d3dx, Direct3DDevice8& device,
                                   const std::string& fileName, std::span<const uint32_t> declaration);

}  // namespace D3DShaders
