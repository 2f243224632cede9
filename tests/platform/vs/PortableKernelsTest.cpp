// The portable kernels against the x86-64 ones (instruction-set clones, AVX-512 gathers where
// the processor has them): the same program on the same vertices gives the same bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <fstream>
#include <limits>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "vs/Assembler.h"
#include "vs/Plan.h"

namespace vs::portable {  // the second build of Kernels.cpp linked into this test
void runPrologue(const CompiledShader::Plan& plan, BatchContext& ctx, const ConstantFile& constants);
void shadeBatch(const CompiledShader::Plan& plan, BatchContext& ctx, const ConstantFile& constants,
                const VertexSource& source, size_t start, int n, const OutputArrays& outputs);
}  // namespace vs::portable

namespace {

constexpr size_t kVertices = 1000;  // several batches, a short last one, lanes past every gather width

std::string dataFile(const char* name) {
    std::ifstream in(std::string(CELSHADE_SOURCE_DIR) + "/data/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every kernel, relative addressing, constant-only steps and macros of each shape.
const char* const kEveryKernel = R"(vs.1.1
m4x4 oPos, v0, c0
dp3 r0.x, c4, c4
rsq r0.w, r0.x
mul r1, v1, r0.w
mad r2, v1, c5, r1
add r3, r2, -c6.wzyx
min r4, r3, v0
max r4.yw, r4, c7
slt r5, v0, r1
sge r6, v1.xxyy, c8
rcp r7.x, v1.w
exp r7.y, v0.z
log r7.zw, v0.y
frc r8.xy, v1
expp r9, v0.x
logp r10, v1.y
lit r11, v1
dst oT1, r9, r10
mov a0.x, v0.w
add oT0, r0.xw, c[a0.x + 10]
m3x3 oT3.xyz, r2, c24
m3x2 oT4.xy, r3, c28
m4x3 oT5.xyz, r4, c30
m3x4 oT6, r5, c40
mul oD0, r6, r7
mad oD1, r8.xyyy, r11, -r7.z
sub oT7, r10, r9
)";

struct Case {
    const char* name;
    std::string source;
    std::vector<vs::InputBinding> bindings;
    uint32_t floatsPerVertex;
};

// Mostly ordinary values, with zeros of both signs, infinities, NaN, denormals and a0
// indices on both sides of the constant range among them.
float sample(std::mt19937& rng) {
    static const float kSpecial[] = {0.0f, -0.0f, 1.0f, std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                                     std::numeric_limits<float>::denorm_min(), 1e30f, -57.0f, 99.5f};
    if (rng() % 16 == 0) return kSpecial[rng() % std::size(kSpecial)];
    return std::uniform_real_distribution<float>(-3.0f, 3.0f)(rng);
}

std::vector<uint32_t> shadeBits(const vs::CompiledShader& shader, const vs::VertexSource& source,
                                const vs::ConstantFile& constants, const vs::BatchKernels& kernels) {
    std::vector<float> store(kVertices * vs::kNumOutputRegisters * 4);
    vs::OutputArrays out;
    for (size_t r = 0; r < vs::kNumOutputRegisters; ++r)
        for (size_t c = 0; c < 4; ++c) out.comp[r][c] = store.data() + (r * 4 + c) * kVertices;
    vs::runPlan(shader.plan(), constants, source, kVertices, out, 1, kernels);
    std::vector<uint32_t> bits(store.size());
    std::transform(store.begin(), store.end(), bits.begin(), [](float f) { return std::bit_cast<uint32_t>(f); });
    return bits;
}

TEST(PortableKernels, GiveTheBitsOfTheX86KernelsForTheSameProgramAndVertices) {
    using enum vs::InputType;
    const Case cases[] = {
        {"celshading.txt", dataFile("celshading.txt"), {{0, Float3, 0}, {3, Float3, 12}, {7, Float2, 24}}, 8},
        {"shver2.txt", dataFile("shver2.txt"), {{0, Float3, 0}, {3, Float3, 12}, {6, Float3, 24}}, 9},
        {"every kernel", kEveryKernel, {{0, Float4, 0}, {1, Float4, 16}}, 9},
    };
    std::mt19937 rng(11);
    vs::ConstantFile constants{};
    for (auto& reg : constants)
        for (float& f : reg) f = sample(rng);
    std::vector<float> vertices(kVertices * 9);
    for (float& f : vertices) f = sample(rng);
    std::vector<uint32_t> shuffled(kVertices);
    std::iota(shuffled.begin(), shuffled.end(), 0u);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    const vs::BatchKernels x86{};
    const vs::BatchKernels portable{vs::portable::runPrologue, vs::portable::shadeBatch};
    for (const Case& c : cases) {
        const vs::CompiledShader shader(vs::decodeProgram(vs::assemble(c.source, c.name).function));
        for (const bool indexed : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (indexed ? ", indexed" : ", in order"));
            vs::VertexSource source{reinterpret_cast<const std::byte*>(vertices.data()), c.floatsPerVertex * 4,
                                    c.bindings, {}, 0};
            if (indexed) source.indices = shuffled;
            const std::vector<uint32_t> expected = shadeBits(shader, source, constants, x86);
            const std::vector<uint32_t> actual = shadeBits(shader, source, constants, portable);
            const auto [e, a] = std::mismatch(expected.begin(), expected.end(), actual.begin());
            EXPECT_TRUE(e == expected.end()) << "output float " << (e - expected.begin()) << ": x86 bits " << std::hex
                                             << *e << ", portable bits " << *a;
        }
    }
}

}  // namespace
