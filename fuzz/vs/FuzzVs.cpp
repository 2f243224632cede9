// First byte even: the bytes are assembly text. Whatever assembles must decode again to the
// same tokens and run. First byte odd: the bytes are function tokens for the decoder, and
// whatever it accepts must run. Running uses a few vertices with awkward values.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "runtime/Error.h"
#include "vs/Assembler.h"
#include "vs/Interpreter.h"

namespace {

void runProgram(const vs::Program& program) {
    const vs::CompiledShader shader(program);
    constexpr size_t kVertices = 3;
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> data(kVertices * 16 * 4);
    const float samples[] = {0.0f, -0.0f, 1.0f, -2.5f, 1e30f, -inf, std::numeric_limits<float>::quiet_NaN(), 95.0f};
    for (size_t i = 0; i < data.size(); ++i) data[i] = samples[i % 8];
    std::vector<vs::InputBinding> bindings;
    for (uint8_t r = 0; r < 16; ++r) bindings.push_back({r, vs::InputType::Float4, uint32_t(r) * 16});
    vs::VertexSource src;
    src.data = reinterpret_cast<const std::byte*>(data.data());
    src.stride = 16 * 16;
    src.bindings = bindings;
    std::vector<float> out(kVertices * vs::kNumOutputRegisters * 4);
    vs::OutputArrays arrays;
    for (size_t r = 0; r < vs::kNumOutputRegisters; ++r)
        for (size_t c = 0; c < 4; ++c) arrays.comp[r][c] = out.data() + (r * 4 + c) * kVertices;
    vs::ConstantFile k{};
    for (size_t r = 0; r < k.size(); ++r) k[r] = {float(r), -float(r), 0.5f, samples[r % 8]};
    shader.run(k, src, kVertices, arrays, 1);
}

void fuzzText(std::string_view text) {
    vs::Assembly a;
    try {
        a = vs::assemble(text, "fuzz");
    } catch (const vs::AssemblyError&) {
        return;
    }
    // The assembler only emits programs the decoder accepts; anything else is a fault.
    const vs::Program p = vs::decodeProgram(a.function);
    if (vs::encodeProgram(p) != a.function) __builtin_trap();
    runProgram(p);
}

void fuzzTokens(const uint8_t* data, size_t size) {
    std::vector<uint32_t> tokens(size / 4);
    if (!tokens.empty()) std::memcpy(tokens.data(), data, tokens.size() * 4);
    vs::Program p;
    try {
        p = vs::decodeProgram(tokens);
    } catch (const rt::Error&) {
        return;
    }
    runProgram(p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] % 2 == 0)
        fuzzText(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    else
        fuzzTokens(data + 1, size - 1);
    return 0;
}
