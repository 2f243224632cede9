// Shader assembly and the buffer helpers of the D3DX object.
#include <cstring>
#include <string>

#include "d3dx8/D3DX8.h"
#include "runtime/InputFile.h"
#include "runtime/Status.h"
#include "vs/Assembler.h"

namespace {

// Shader sources are a few kilobytes; anything this large is not one.
constexpr uint64_t kMaxSourceBytes = 1 << 20;

[[noreturn]] void refuse(HRESULT status, const std::string& why, std::string* errors) {
    if (errors) *errors = why;
    rt::raiseStatus(status, "AssembleShaderFromFile", why);
}

std::string readSource(const std::string& fileName, std::string* errors) {
    const rt::InputFile file(fileName);
    if (file.fault() == rt::InputFile::Fault::NotRegular) refuse(D3DXERR_INVALIDDATA, fileName + ": " + file.reason(), errors);
    if (!file.ok()) refuse(D3DERR_NOTFOUND, fileName + ": cannot open the file", errors);
    if (file.size() > kMaxSourceBytes) refuse(D3DXERR_INVALIDDATA, fileName + ": not a shader source (too large)", errors);
    std::string text(static_cast<size_t>(file.size()), '\0');
    text.resize(file.readInto(reinterpret_cast<std::byte*>(text.data()), text.size()));
    return text;
}

std::shared_ptr<D3DXBuffer> bufferOf(const std::vector<uint32_t>& words) {
    std::vector<std::byte> bytes(words.size() * 4);
    if (!words.empty()) std::memcpy(bytes.data(), words.data(), bytes.size());
    return std::make_shared<D3DXBuffer>(std::move(bytes));
}

}  // namespace

uint32_t D3DX8::GetFVFVertexSize(uint32_t fvf) { return fvfVertexSize(fvf); }

std::shared_ptr<D3DXBuffer> D3DX8::AssembleShaderFromFile(const std::string& fileName, uint32_t /*flags*/,
                                                          std::string* errors,
                                                          std::shared_ptr<D3DXBuffer>* constants) {
    const std::string text = readSource(fileName, errors);
    vs::Assembly assembly;
    try {
        assembly = vs::assemble(text, fileName);
    } catch (const vs::AssemblyError& e) {
        if (errors) *errors = e.what();
        rt::raiseStatus(D3DXERR_INVALIDDATA, "AssembleShaderFromFile", e.what());
    }
    if (errors) errors->clear();
    if (constants) *constants = assembly.constants.empty() ? nullptr : bufferOf(assembly.constants);
    return bufferOf(assembly.function);
}

void D3DX8::BufferGetData(const D3DXBuffer& buffer, uint32_t offset, uint32_t elementSize, uint32_t count,
                          void* dest) {
    const uint64_t bytes = uint64_t{elementSize} * count;
    if (uint64_t{offset} + bytes > buffer.GetBufferSize())
        rt::raiseStatus(D3DERR_INVALIDCALL, "BufferGetData",
                        std::to_string(bytes) + " bytes from offset " + std::to_string(offset) + " go beyond the " +
                            std::to_string(buffer.GetBufferSize()) + "-byte buffer");
    if (bytes == 0) return;
    if (!dest) rt::raiseStatus(D3DERR_INVALIDCALL, "BufferGetData", "no destination");
    std::memcpy(dest, buffer.GetBufferPointer() + offset, static_cast<size_t>(bytes));
}
