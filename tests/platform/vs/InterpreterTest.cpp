#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "RunProgram.h"

namespace {

using vstest::runOne;
using vstest::Vec4;

constexpr float kInf = std::numeric_limits<float>::infinity();

vs::ConstantFile constantsWith(std::initializer_list<std::pair<int, Vec4>> values) {
    vs::ConstantFile k{};
    for (const auto& [reg, v] : values) k[size_t(reg)] = v;
    return k;
}

TEST(InterpreterArithmetic, PerComponentOperations) {
    const auto k = constantsWith({{2, {10, 20, 30, 40}}, {3, {1, 2, 3, 4}}});
    const Vec4 v{1, -2, 3, -4};
    EXPECT_EQ(runOne("mov oT0, v1", v), (Vec4{1, -2, 3, -4}));
    EXPECT_EQ(runOne("add oT0, v1, c2", v, k), (Vec4{11, 18, 33, 36}));
    EXPECT_EQ(runOne("sub oT0, v1, c2", v, k), (Vec4{-9, -22, -27, -44}));
    EXPECT_EQ(runOne("mul oT0, v1, c2", v, k), (Vec4{10, -40, 90, -160}));
    EXPECT_EQ(runOne("mad oT0, v1, c2, v1", v, k), (Vec4{11, -42, 93, -164}));
    EXPECT_EQ(runOne("min oT0, v1, c3", v, k), (Vec4{1, -2, 3, -4}));
    EXPECT_EQ(runOne("max oT0, v1, c3", v, k), (Vec4{1, 2, 3, 4}));
    EXPECT_EQ(runOne("slt oT0, v1, c3", v, k), (Vec4{0, 1, 0, 1}));  // equal is not less
    EXPECT_EQ(runOne("sge oT0, v1, c3", v, k), (Vec4{1, 0, 1, 0}));
}

TEST(InterpreterArithmetic, DotProductsReplicateAndIgnoreTheUnusedComponent) {
    const auto k = constantsWith({{2, {1, 2, 3, 4}}});
    EXPECT_EQ(runOne("dp3 oT0, v1, c2", {1, 1, 1, 100}, k), (Vec4{6, 6, 6, 6}));
    EXPECT_EQ(runOne("dp4 oT0, v1, c2", {1, 1, 1, 100}, k), (Vec4{406, 406, 406, 406}));
    EXPECT_EQ(runOne("mov oT0, c2\ndp3 oT0.yw, v1, c2", {1, 0, 0, 0}, k), (Vec4{1, 1, 3, 1}));
}

TEST(InterpreterSwizzles, NegationSwizzleAndMaskCombine) {
    EXPECT_EQ(runOne("mov oT0, -v1.wzyx", {1, 2, 3, 4}), (Vec4{-4, -3, -2, -1}));
    EXPECT_EQ(runOne("mov oT0, v1.y", {1, 2, 3, 4}), (Vec4{2, 2, 2, 2}));
    EXPECT_EQ(runOne("mov oT0, v1.xz", {1, 2, 3, 4}), (Vec4{1, 3, 3, 3}));
    EXPECT_EQ(runOne("mov oT0, v1\nmov oT0.yw, -v1.x", {1, 2, 3, 4}), (Vec4{1, -1, 3, -1}));
}

// A destination that is also a source must see the source as it was before the instruction.
TEST(InterpreterSwizzles, InstructionReadingItsOwnDestinationSeesOldValues) {
    EXPECT_EQ(runOne("mov r0, v1\nmov r0.xy, r0.yx\nmov oT0, r0", {1, 2, 3, 4}), (Vec4{2, 1, 3, 4}));
    EXPECT_EQ(runOne("mov r0, v1\nadd r0, r0.wzyx, r0\nmov oT0, r0", {1, 2, 3, 4}), (Vec4{5, 5, 5, 5}));
    EXPECT_EQ(runOne("mov r0, v1\nadd r0, -r0.wzyx, r0\nmov oT0, r0", {1, 2, 3, 4}), (Vec4{-3, -1, 1, 3}));
}

TEST(InterpreterScalarOps, ReadTheWChannelOfTheSwizzledSource) {
    EXPECT_EQ(runOne("rcp oT0, v1", {2, 4, 8, 16}), (Vec4{0.0625f, 0.0625f, 0.0625f, 0.0625f}));
    EXPECT_EQ(runOne("rcp oT0, v1.x", {2, 4, 8, 16}), (Vec4{0.5f, 0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(runOne("mov oT0, v1\nrcp oT0.z, v1.y", {2, 4, 8, 16}), (Vec4{2, 4, 0.25f, 16}));
}

TEST(InterpreterScalarOps, ReciprocalsOfZeroOneAndNegatives) {
    EXPECT_EQ(runOne("rcp oT0, v1.x", {0, 0, 0, 0})[0], kInf);
    EXPECT_EQ(runOne("rcp oT0, v1.x", {-0.0f, 0, 0, 0})[0], kInf);
    EXPECT_EQ(runOne("rcp oT0, v1.x", {1, 0, 0, 0})[0], 1.0f);
    EXPECT_EQ(runOne("rcp oT0, v1.x", {-4, 0, 0, 0})[0], -0.25f);
    EXPECT_EQ(runOne("rsq oT0, v1.x", {0, 0, 0, 0})[0], kInf);
    EXPECT_EQ(runOne("rsq oT0, v1.x", {1, 0, 0, 0})[0], 1.0f);
    EXPECT_EQ(runOne("rsq oT0, v1.x", {-4, 0, 0, 0})[0], 0.5f);  // of the absolute value
}

TEST(InterpreterScalarOps, ExponentialsAndLogarithms) {
    EXPECT_EQ(runOne("exp oT0, v1.x", {3, 0, 0, 0}), (Vec4{8, 8, 8, 8}));
    EXPECT_EQ(runOne("exp oT0, v1.x", {-1, 0, 0, 0})[0], 0.5f);
    EXPECT_EQ(runOne("log oT0, v1.x", {8, 0, 0, 0}), (Vec4{3, 3, 3, 3}));
    EXPECT_EQ(runOne("log oT0, v1.x", {-0.25f, 0, 0, 0})[0], -2.0f);
    EXPECT_EQ(runOne("log oT0, v1.x", {0, 0, 0, 0})[0], -kInf);
}

TEST(InterpreterScalarOps, PartialPrecisionExpAndLog) {
    const Vec4 e = runOne("expp oT0, v1.x", {2.5f, 0, 0, 0});
    EXPECT_EQ(e[0], 4.0f);
    EXPECT_EQ(e[1], 0.5f);
    EXPECT_EQ(std::bit_cast<uint32_t>(e[2]) & 0xFF, 0u);  // low mantissa byte cleared
    EXPECT_NEAR(e[2], std::sqrt(32.0f), 2e-4f);
    EXPECT_EQ(e[3], 1.0f);
    EXPECT_EQ(runOne("expp oT0, v1.x", {-1.25f, 0, 0, 0})[1], 0.75f);

    const Vec4 l = runOne("logp oT0, v1.x", {-10, 0, 0, 0});
    EXPECT_EQ(l[0], 3.0f);     // exponent
    EXPECT_EQ(l[1], 1.25f);    // mantissa in [1, 2)
    EXPECT_EQ(std::bit_cast<uint32_t>(l[2]) & 0xFF, 0u);
    EXPECT_NEAR(l[2], std::log2(10.0f), 1e-4f);
    EXPECT_EQ(l[3], 1.0f);
    EXPECT_EQ(runOne("logp oT0, v1.x", {0.75f, 0, 0, 0})[0], -1.0f);
    EXPECT_EQ(runOne("logp oT0, v1.x", {0, 0, 0, 0}), (Vec4{-kInf, 0, -kInf, 1}));
}

TEST(InterpreterLighting, LitCoversEachBranch) {
    EXPECT_EQ(runOne("lit oT0, v1", {0.5f, 0.8f, 9, 2}), (Vec4{1, 0.5f, std::pow(0.8f, 2.0f), 1}));
    EXPECT_EQ(runOne("lit oT0, v1", {0, 0.8f, 9, 2}), (Vec4{1, 0, 0, 1}));      // x <= 0: no diffuse
    EXPECT_EQ(runOne("lit oT0, v1", {-1, 0.8f, 9, 2}), (Vec4{1, 0, 0, 1}));
    EXPECT_EQ(runOne("lit oT0, v1", {0.5f, 0, 9, 2}), (Vec4{1, 0.5f, 0, 1}));   // y <= 0: no specular
    // The power is clamped to +/-127.9961.
    EXPECT_EQ(runOne("lit oT0, v1", {1, 0.5f, 0, 500})[2], std::pow(0.5f, 127.9961f));
    EXPECT_EQ(runOne("lit oT0, v1", {1, 2.0f, 0, -500})[2], std::pow(2.0f, -127.9961f));
}

TEST(InterpreterLighting, DstBuildsTheAttenuationVector) {
    const auto k = constantsWith({{4, {100, 5, 200, 7}}});
    EXPECT_EQ(runOne("dst oT0, v1, c4", {9, 2, 3, 9}, k), (Vec4{1, 10, 3, 7}));
}

TEST(InterpreterMacros, FractionKeepsTheOtherComponents) {
    EXPECT_EQ(runOne("mov r0, v1\nfrc r0.xy, v1\nmov oT0, r0", {1.25f, -1.25f, 7.5f, 9}), (Vec4{0.25f, 0.75f, 7.5f, 9}));
    EXPECT_EQ(runOne("mov r0, v1\nfrc r0.y, v1.x\nmov oT0, r0", {3.5f, 0, 0, 0}), (Vec4{3.5f, 0.5f, 0, 0}));
}

TEST(InterpreterMacros, MatrixMacrosAreRowDotProducts) {
    const auto k = constantsWith({{10, {1, 0, 0, 5}}, {11, {0, 2, 0, 6}}, {12, {0, 0, 3, 7}}, {13, {1, 1, 1, 1}}});
    const Vec4 v{1, 2, 3, 1};
    EXPECT_EQ(runOne("m4x4 oT0, v1, c10", v, k), (Vec4{6, 10, 16, 7}));
    EXPECT_EQ(runOne("mov oT0, v1\nm4x3 oT0.xyz, v1, c10", v, k), (Vec4{6, 10, 16, 1}));
    EXPECT_EQ(runOne("m3x4 oT0, v1, c10", v, k), (Vec4{1, 4, 9, 6}));
    EXPECT_EQ(runOne("mov oT0, c13\nm3x3 oT0.xyz, v1, c10", v, k), (Vec4{1, 4, 9, 1}));
    EXPECT_EQ(runOne("mov oT0, c13\nm3x2 oT0.xy, v1, c10", v, k), (Vec4{1, 4, 1, 1}));
}

TEST(InterpreterRelativeAddressing, RoundsToNearestEvenAndReadsZeroOutside) {
    vs::ConstantFile k{};
    for (int r = 0; r < 96; ++r) k[size_t(r)] = {float(r), float(r) + 0.5f, 0, 1};
    const char* body = "mov a0.x, v1.x\nmov oT0, c[a0.x + 2]";
    EXPECT_EQ(runOne(body, {1.5f, 0, 0, 0}, k)[0], 4.0f);   // 1.5 -> 2
    EXPECT_EQ(runOne(body, {2.5f, 0, 0, 0}, k)[0], 4.0f);   // 2.5 -> 2
    EXPECT_EQ(runOne(body, {2.6f, 0, 0, 0}, k)[0], 5.0f);
    EXPECT_EQ(runOne(body, {-0.4f, 0, 0, 0}, k)[0], 2.0f);
    EXPECT_EQ(runOne(body, {-2, 0, 0, 0}, k), (Vec4{0, 0.5f, 0, 1}));
    EXPECT_EQ(runOne(body, {-3, 0, 0, 0}, k), (Vec4{0, 0, 0, 0}));   // c[-1]
    EXPECT_EQ(runOne(body, {94, 0, 0, 0}, k), (Vec4{0, 0, 0, 0}));   // c[96]
    EXPECT_EQ(runOne(body, {1e30f, 0, 0, 0}, k), (Vec4{0, 0, 0, 0}));
    EXPECT_EQ(runOne(body, {std::nanf(""), 0, 0, 0}, k), (Vec4{0, 0, 0, 0}));
    // The x channel of the swizzled source feeds a0, and a negated relative read negates.
    EXPECT_EQ(runOne("mov a0.x, v1.y\nmov oT0, -c[a0.x].y", {0, 7, 0, 0}, k)[0], -7.5f);
}

// Unsupplied input components read as (0, 0, 0, 1); unwritten outputs as (0, 0, 0, 1);
// colours leave clamped to 0..1 with NaN as 0, texture coordinates unclamped.
TEST(InterpreterRegisters, DefaultsAndColourClamping) {
    const vs::CompiledShader shader(vstest::programOf("vs.1.1\nmov oPos, v0\nmov oT0, v5\nmov oD0, v0\nmov oD1, -v0"));
    const float data[2] = {2.5f, -0.5f};
    const vs::InputBinding binding{0, vs::InputType::Float2, 0};
    vs::VertexSource src;
    src.data = reinterpret_cast<const std::byte*>(data);
    src.stride = 8;
    src.bindings = {&binding, 1};
    float o[vs::kNumOutputRegisters][4] = {};
    vs::OutputArrays out;
    for (size_t r = 0; r < vs::kNumOutputRegisters; ++r)
        for (size_t c = 0; c < 4; ++c) out.comp[r][c] = &o[r][c];
    shader.run({}, src, 1, out);
    EXPECT_EQ((Vec4{o[vs::OutPos][0], o[vs::OutPos][1], o[vs::OutPos][2], o[vs::OutPos][3]}), (Vec4{2.5f, -0.5f, 0, 1}));
    EXPECT_EQ((Vec4{o[vs::OutT0][0], o[vs::OutT0][1], o[vs::OutT0][2], o[vs::OutT0][3]}), (Vec4{0, 0, 0, 1}));
    EXPECT_EQ((Vec4{o[vs::OutD0][0], o[vs::OutD0][1], o[vs::OutD0][2], o[vs::OutD0][3]}), (Vec4{1, 0, 0, 1}));
    EXPECT_EQ((Vec4{o[vs::OutD1][0], o[vs::OutD1][1], o[vs::OutD1][2], o[vs::OutD1][3]}), (Vec4{0, 0.5f, 0, 0}));
    EXPECT_EQ((Vec4{o[vs::OutT0 + 1][0], o[vs::OutT0 + 1][1], o[vs::OutT0 + 1][2], o[vs::OutT0 + 1][3]}), (Vec4{0, 0, 0, 1}));
}

TEST(InterpreterRegisters, ColourInputsAndIndexedVertices) {
    const vs::CompiledShader shader(vstest::programOf("vs.1.1\nmov oPos, v0\nmov oT0, v5"));
    const uint32_t colours[3] = {0x00000000u, 0x80FF4000u, 0xFFFFFFFFu};
    const vs::InputBinding binding{5, vs::InputType::D3DColor, 0};
    const uint32_t order[2] = {1, 2};
    vs::VertexSource src;
    src.data = reinterpret_cast<const std::byte*>(colours);
    src.stride = 4;
    src.bindings = {&binding, 1};
    src.indices = order;
    float t[4][2] = {};
    vs::OutputArrays out;
    for (size_t c = 0; c < 4; ++c) out.comp[vs::OutT0][c] = t[c];
    shader.run({}, src, 2, out);
    EXPECT_EQ(t[0][0], 1.0f);
    EXPECT_EQ(t[1][0], 64.0f / 255.0f);
    EXPECT_EQ(t[2][0], 0.0f);
    EXPECT_EQ(t[3][0], 128.0f / 255.0f);
    EXPECT_EQ(t[3][1], 1.0f);
}

// Steps on constants alone run once per draw; what per-vertex steps read of them must be
// the value at that point of the program.
TEST(InterpreterUniformSteps, ValuesAsThoughEveryStepRanPerVertex) {
    const auto k = constantsWith({{2, {3, 4, 0, 2}}, {3, {10, 20, 30, 40}}});
    // A unit vector from a constant, used per vertex, negated and as an address.
    EXPECT_EQ(runOne("dp3 r1.w, c2, c2\nrsq r1.w, r1.w\nmul r1.xyz, c2, r1.w\ndp3 r2.x, v1, r1\nmov r3.x, c2.w\n"
                     "mov a0.x, r3.x\nadd r2.y, v1.x, -r1.x\nmov r2.zw, c[a0.x + 1].xyxy\nmov oT0, r2", {10, 0, 0, 0}, k),
              (Vec4{6, 9.4f, 10, 20}));
    // Overwritten after a per-vertex read: the read keeps the earlier value.
    EXPECT_EQ(runOne("mov r0, c2\nadd r1, v1, r0\nmov r0, c3\nadd r1.zw, v1, r0\nmov oT0, r1", {1, 1, 1, 1}, k),
              (Vec4{4, 5, 31, 41}));
    // Partly uniform, partly per vertex.
    EXPECT_EQ(runOne("mov r0.x, c2.x\nmov r0.y, v1.y\nadd oT0, r0.xyyy, c3", {0, 7, 0, 0}, k), (Vec4{13, 27, 37, 47}));
    // A uniform chain whose later step reads an earlier one in the same register.
    EXPECT_EQ(runOne("mov r4.y, c2.y\nmul r4.w, c2.w, r4.y\nmul r4.w, r4.w, r4.y\nmad oT0, v1, r4.w, r4.y", {1, 2, 3, 4}, k),
              (Vec4{36, 68, 100, 132}));
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
    std::vector<vstest::VertexIn> many(5000);
    for (auto& v : many) v.inputs = {{0, {value(rng), value(rng), value(rng), 1}}, {1, {value(rng), value(rng), value(rng), value(rng)}}};
    const auto single = vstest::runProgram(source, many, k, 1);
    const auto parallel = vstest::runProgram(source, many, k, 0);
    for (size_t i = 0; i < many.size(); ++i) {
        const auto one = vstest::runProgram(source, {many[i]}, k, 1)[0];
        for (size_t r = 0; r < vs::kNumOutputRegisters; ++r)
            for (size_t c = 0; c < 4; ++c) {
                ASSERT_EQ(std::bit_cast<uint32_t>(single[i].reg[r][c]), std::bit_cast<uint32_t>(one.reg[r][c])) << i;
                ASSERT_EQ(std::bit_cast<uint32_t>(parallel[i].reg[r][c]), std::bit_cast<uint32_t>(one.reg[r][c])) << i;
            }
        if (i > 300) i += 37;  // every vertex of the first batches, then a sample
    }
}

}  // namespace
