#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "vs/Assembler.h"
#include "vs/Interpreter.h"

namespace {

using Vec4 = std::array<float, 4>;
using Outputs = std::array<Vec4, vs::kNumOutputRegisters>;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr vs::InputType kFloat4 = vs::InputType::Float4;

// Shades `count` vertices of raw stream bytes; every output register of each vertex.
std::vector<Outputs> shade(const std::string& source, const void* data, uint32_t stride,
                           const std::vector<vs::InputBinding>& bindings, size_t count, const vs::ConstantFile& k = {},
                           unsigned threads = 1) {
    const vs::CompiledShader shader(vs::decodeProgram(vs::assemble(source, "t.vsh").function));
    const vs::VertexSource src{.data = static_cast<const std::byte*>(data), .stride = stride, .bindings = bindings, .indices = {}};
    std::vector<float> store(count * vs::kNumOutputRegisters * 4);
    vs::OutputArrays out;
    for (size_t r = 0; r < vs::kNumOutputRegisters; ++r)
        for (size_t c = 0; c < 4; ++c) out.comp[r][c] = store.data() + (r * 4 + c) * count;
    shader.run(k, src, count, out, threads);
    std::vector<Outputs> result(count);
    for (size_t i = 0; i < count; ++i)
        for (size_t r = 0; r < vs::kNumOutputRegisters; ++r)
            for (size_t c = 0; c < 4; ++c) result[i][r][c] = out.comp[r][c][i];
    return result;
}

// oT0 of one vertex with v0 = (0, 0, 0, 1) and v1 = `v1` through `body`.
Vec4 runOne(const std::string& body, const Vec4& v1, const vs::ConstantFile& k = {}) {
    const Vec4 data[2] = {{0, 0, 0, 1}, v1};
    return shade("vs.1.1\nmov oPos, v0\n" + body, data, 32, {{0, kFloat4, 0}, {1, kFloat4, 16}}, 1, k)[0][vs::OutT0];
}

// c[r] = (r, r + 0.5, 0, 1), apart from the registers the programs below use by value.
vs::ConstantFile tableConstants() {
    vs::ConstantFile k{};
    for (size_t r = 0; r < k.size(); ++r) k[r] = {float(r), float(r) + 0.5f, 0, 1};
    k[2] = {10, 20, 30, 40}, k[3] = {1, 2, 3, 4}, k[4] = {100, 5, 200, 7}, k[5] = {3, 4, 0, 2};
    k[10] = {1, 0, 0, 5}, k[11] = {0, 2, 0, 6}, k[12] = {0, 0, 3, 7}, k[13] = {1, 1, 1, 1};
    return k;
}

TEST(InterpreterResults, EveryOperationOnHandCheckedValues) {
    const std::tuple<const char*, Vec4, Vec4> cases[] = {  // program, v1, oT0
        {"add oT0, v1, c2", {1, -2, 3, -4}, {11, 18, 33, 36}}, {"mul oT0, v1, c2", {1, -2, 3, -4}, {10, -40, 90, -160}},
        {"mad oT0, v1, c2, v1", {1, -2, 3, -4}, {11, -42, 93, -164}}, {"min oT0, v1, c3", {1, -2, 3, -4}, {1, -2, 3, -4}},
        {"max oT0, v1, c3", {1, -2, 3, -4}, {1, 2, 3, 4}}, {"sge oT0, v1, c3", {1, -2, 3, -4}, {1, 0, 1, 0}},
        {"slt oT0, v1, c3", {1, -2, 3, -4}, {0, 1, 0, 1}},  // equal is not less
        // Dot products replicate and ignore the unused component.
        {"dp3 oT0, v1, c3", {1, 1, 1, 100}, {6, 6, 6, 6}}, {"dp4 oT0, v1, c3", {1, 1, 1, 100}, {406, 406, 406, 406}},
        {"mov oT0, c3\ndp3 oT0.yw, v1, c3", {1, 0, 0, 0}, {1, 1, 3, 1}},
        // Negation, swizzle and mask combine; a short swizzle repeats its last letter.
        {"mov oT0, -v1.wzyx", {1, 2, 3, 4}, {-4, -3, -2, -1}}, {"mov oT0, v1.xz", {1, 2, 3, 4}, {1, 3, 3, 3}},
        // A destination that is also a source is read as it was before the instruction.
        {"mov r0, v1\nmov r0.xy, r0.yx\nmov oT0, r0", {1, 2, 3, 4}, {2, 1, 3, 4}},
        {"mov r0, v1\nadd r0, r0.wzyx, r0\nmov oT0, r0", {1, 2, 3, 4}, {5, 5, 5, 5}},
        {"mov r0, v1\nadd r0, -r0.wzyx, r0\nmov oT0, r0", {1, 2, 3, 4}, {-3, -1, 1, 3}},
        // Scalar operations read the w channel of the swizzled source.
        {"rcp oT0, v1", {2, 4, 8, 16}, {0.0625f, 0.0625f, 0.0625f, 0.0625f}},
        {"mov oT0, v1\nrcp oT0.z, v1.y", {2, 4, 8, 16}, {2, 4, 0.25f, 16}},
        // lit: x <= 0 no diffuse, y <= 0 no specular, the power clamped to +/-127.9961.
        {"lit oT0, v1", {0.5f, 0.8f, 9, 2}, {1, 0.5f, std::pow(0.8f, 2.0f), 1}},
        {"lit oT0, v1", {0, 0.8f, 9, 2}, {1, 0, 0, 1}}, {"lit oT0, v1", {0.5f, 0, 9, 2}, {1, 0.5f, 0, 1}},
        {"lit oT0, v1", {1, 0.5f, 0, 500}, {1, 1, std::pow(0.5f, 127.9961f), 1}},
        {"lit oT0, v1", {1, 2.0f, 0, -500}, {1, 1, std::pow(2.0f, -127.9961f), 1}},
        {"dst oT0, v1, c4", {9, 2, 3, 9}, {1, 10, 3, 7}},
        // frc leaves the components it does not write.
        {"mov r0, v1\nfrc r0.xy, v1\nmov oT0, r0", {1.25f, -1.25f, 7.5f, 9}, {0.25f, 0.75f, 7.5f, 9}},
        {"mov r0, v1\nfrc r0.y, v1.x\nmov oT0, r0", {3.5f, 0, 0, 0}, {3.5f, 0.5f, 0, 0}},
        // Matrix macros are row dot products.
        {"m4x4 oT0, v1, c10", {1, 2, 3, 1}, {6, 10, 16, 7}}, {"m3x4 oT0, v1, c10", {1, 2, 3, 1}, {1, 4, 9, 6}},
        {"mov oT0, v1\nm4x3 oT0.xyz, v1, c10", {1, 2, 3, 1}, {6, 10, 16, 1}},
        {"mov oT0, c13\nm3x3 oT0.xyz, v1, c10", {1, 2, 3, 1}, {1, 4, 9, 1}},
        {"mov oT0, c13\nm3x2 oT0.xy, v1, c10", {1, 2, 3, 1}, {1, 4, 1, 1}},
        // a0 takes the x of the swizzled source; a negated relative read is negated.
        {"mov a0.x, v1.y\nmov oT0, -c[a0.x].y", {0, 7, 0, 0}, {-7.5f, -7.5f, -7.5f, -7.5f}},
        // Steps on constants alone run once per draw; per-vertex steps must still see the
        // value at their point of the program, including through a0 and after overwrites.
        {"dp3 r1.w, c5, c5\nrsq r1.w, r1.w\nmul r1.xyz, c5, r1.w\ndp3 r2.x, v1, r1\nmov r3.x, c5.w\nmov a0.x, r3.x\n"
         "add r2.y, v1.x, -r1.x\nmov r2.zw, c[a0.x + 1].xyxy\nmov oT0, r2", {10, 0, 0, 0}, {6, 9.4f, 1, 2}},
        {"mov r0, c5\nadd r1, v1, r0\nmov r0, c2\nadd r1.zw, v1, r0\nmov oT0, r1", {1, 1, 1, 1}, {4, 5, 31, 41}},
        {"mov r0.x, c5.x\nmov r0.y, v1.y\nadd oT0, r0.xyyy, c2", {0, 7, 0, 0}, {13, 27, 37, 47}},
        {"mov r4.y, c5.y\nmul r4.w, c5.w, r4.y\nmul r4.w, r4.w, r4.y\nmad oT0, v1, r4.w, r4.y", {1, 2, 3, 4}, {36, 68, 100, 132}},
    };
    const vs::ConstantFile k = tableConstants();
    for (const auto& [body, v1, expected] : cases) EXPECT_EQ(runOne(body, v1, k), expected) << body << " with v1.x = " << v1[0];
    // Special values of the scalar operations, replicated from v1.x.
    const std::tuple<const char*, float, float> scalars[] = {
        {"rcp", 0, kInf}, {"rcp", -0.0f, kInf}, {"rcp", 1, 1}, {"rsq", 0, kInf}, {"rsq", 1, 1},
        {"rsq", -4, 0.5f} /* of the absolute value */, {"exp", 3, 8}, {"log", 8, 3}, {"log", -0.25f, -2}, {"log", 0, -kInf}};
    for (const auto& [op, x, r] : scalars)
        EXPECT_EQ(runOne(std::string(op) + " oT0, v1.x", {x, 0, 0, 0}), (Vec4{r, r, r, r})) << op << " of " << x;
    // a0 rounds to nearest, ties to even; registers outside c0..c95 read as 0.
    const std::pair<float, Vec4> addresses[] = {{1.5f, {42, 42.5f, 0, 1}}, {2.5f, {42, 42.5f, 0, 1}}, {-0.4f, {40, 40.5f, 0, 1}},
                                                {-40, {0, 0.5f, 0, 1}}, {-41, {}}, {56, {}}, {1e30f, {}}, {std::nanf(""), {}}};
    for (const auto& [x, expected] : addresses)
        EXPECT_EQ(runOne("mov a0.x, v1.x\nmov oT0, c[a0.x + 40]", {x, 0, 0, 0}, k), expected) << "a0.x from " << x;
}

// expp and logp give z at partial precision: the low byte of its mantissa is cleared.
TEST(InterpreterResults, PartialPrecisionExpAndLog) {
    const Vec4 e = runOne("expp oT0, v1.x", {2.5f, 0, 0, 0});
    EXPECT_EQ((Vec4{e[0], e[1], e[3]}), (Vec4{4, 0.5f, 1}));
    EXPECT_EQ(std::bit_cast<uint32_t>(e[2]) & 0xFF, 0u);
    EXPECT_NEAR(e[2], std::sqrt(32.0f), 2e-4f);
    EXPECT_EQ(runOne("expp oT0, v1.x", {-1.25f, 0, 0, 0})[1], 0.75f);
    const Vec4 l = runOne("logp oT0, v1.x", {-10, 0, 0, 0});
    EXPECT_EQ((Vec4{l[0], l[1], l[3]}), (Vec4{3, 1.25f, 1}));  // exponent, mantissa in [1, 2)
    EXPECT_EQ(std::bit_cast<uint32_t>(l[2]) & 0xFF, 0u);
    EXPECT_NEAR(l[2], std::log2(10.0f), 1e-4f);
    EXPECT_EQ(runOne("logp oT0, v1.x", {0.75f, 0, 0, 0})[0], -1.0f);
    EXPECT_EQ(runOne("logp oT0, v1.x", {0, 0, 0, 0}), (Vec4{-kInf, 0, -kInf, 1}));
}

// Unsupplied input components read as (0, 0, 0, 1), unwritten outputs as (0, 0, 0, 1);
// colours leave clamped to 0..1, texture coordinates unclamped.
TEST(InterpreterRegisters, DefaultsAndColourClamping) {
    const float xy[2] = {2.5f, -0.5f};
    const Outputs o = shade("vs.1.1\nmov oPos, v0\nmov oT0, v5\nmov oD0, v0\nmov oD1, -v0", xy, 8,
                            {{0, vs::InputType::Float2, 0}}, 1)[0];
    EXPECT_EQ(o[vs::OutPos], (Vec4{2.5f, -0.5f, 0, 1}));
    EXPECT_EQ(o[vs::OutT0], (Vec4{0, 0, 0, 1}));
    EXPECT_EQ(o[vs::OutD0], (Vec4{1, 0, 0, 1}));
    EXPECT_EQ(o[vs::OutD1], (Vec4{0, 0.5f, 0, 0}));
    EXPECT_EQ(o[vs::OutT0 + 1], (Vec4{0, 0, 0, 1}));
}

// Vertices spread over batches and threads must come out exactly as one at a time.
TEST(InterpreterBatches, ThreadsAndBatchBoundariesGiveIdenticalBits) {
    const std::string source =
        "vs.1.1\nm4x4 oPos, v0, c0\ndp3 r0.x, v1, c4\nrsq r0.y, r0.x\nmul r1, v1, r0.y\nmov a0.x, v0.x\n"
        "add oT0, r1, c[a0.x + 4]\nlit oT1, r1\nexpp oT2, v0.y\n";
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    vs::ConstantFile k{};
    for (auto& reg : k)
        for (float& f : reg) f = value(rng);
    std::vector<Vec4> data(2 * 5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = {value(rng), value(rng), value(rng), i % 2 ? value(rng) : 1};
    const std::vector<vs::InputBinding> bindings = {{0, kFloat4, 0}, {1, kFloat4, 16}};
    const auto single = shade(source, data.data(), 32, bindings, 5000, k, 1);
    const auto parallel = shade(source, data.data(), 32, bindings, 5000, k, 0);
    auto bits = [](const Outputs& o) { return std::bit_cast<std::array<uint32_t, sizeof(Outputs) / 4>>(o); };
    for (size_t i = 0; i < 5000; i += i > 300 ? 38 : 1) {  // the first batches whole, then a sample
        const auto one = bits(shade(source, &data[2 * i], 32, bindings, 1, k, 1)[0]);
        ASSERT_EQ(bits(single[i]), one) << i;
        ASSERT_EQ(bits(parallel[i]), one) << i;
    }
}

}  // namespace
