#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dx8/D3DX8.h"
#include "runtime/Error.h"
#include "runtime/Status.h"
#include "shaderbind/ShaderCreation.h"

namespace {

using namespace D3DShaders;

std::string writeTemp(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

std::string dataPath(const char* name) { return std::string(CELSHADE_SOURCE_DIR) + "/data/" + name; }

// The error a call raised; status 0 when it raised none.
template <typename F>
rt::Error errorOf(F&& f) {
    try {
        f();
    } catch (const rt::Error& e) {
        return e;
    }
    return rt::Error(0, "");
}

// A code buffer of 4k bytes gives k + 1 words, the last one spare and 0; other sizes round
// to the nearest word count, ties to even, and never lose a byte. What the code leaves is 0.
TEST(CodeArray, OneSpareZeroWordAfterTheCode) {
    D3DX8 d3dx;
    for (auto [size, words] : {std::pair{0u, 1u}, {4u, 2u}, {20u, 6u}, {1200u, 301u}, {5u, 2u}, {6u, 3u}, {10u, 3u}}) {
        std::vector<std::byte> code(size);
        for (size_t i = 0; i < size; ++i) code[i] = std::byte(0xA0 + i % 16);
        const std::vector<uint32_t> array = codeArrayOf(d3dx, D3DXBuffer(code));
        ASSERT_EQ(array.size(), words) << size;
        std::vector<std::byte> expected(4 * words);
        std::copy(code.begin(), code.end(), expected.begin());
        EXPECT_EQ(std::memcmp(array.data(), expected.data(), expected.size()), 0) << size;
    }
}

// Ranges beyond the buffer or the constant registers are refused, with no 32-bit wrap.
TEST(RangeChecks, BufferCopyAndConstantRegisters) {
    D3DX8 d3dx;
    const D3DXBuffer buffer(std::vector<std::byte>(8));
    uint32_t out[4];
    EXPECT_EQ(errorOf([&] { d3dx.BufferGetData(buffer, 4, 2, 2, out); }).number(), 0);
    EXPECT_EQ(errorOf([&] { d3dx.BufferGetData(buffer, 4, 2, 3, out); }).number(), D3DERR_INVALIDCALL);
    EXPECT_EQ(errorOf([&] { d3dx.BufferGetData(buffer, 0, 0x10000, 0x10001, out); }).number(), D3DERR_INVALIDCALL);
    const auto device = createOffscreenDevice(8, 8);
    const float four[16] = {};
    EXPECT_EQ(errorOf([&] { device->SetVertexShaderConstant(92, four, 4); }).number(), 0);
    EXPECT_EQ(errorOf([&] { device->SetVertexShaderConstant(93, four, 4); }).number(), D3DERR_INVALIDCALL);
    EXPECT_EQ(errorOf([&] { device->SetVertexShaderConstant(0xFFFFFFFFu, four, 2); }).number(), D3DERR_INVALIDCALL);
}

class ShaderCreation : public ::testing::Test {
protected:
    std::shared_ptr<Direct3DDevice8> device = createOffscreenDevice(8, 8);
    std::shared_ptr<D3DX8> d3dx;

    int32_t create(const std::string& path, bool edge = false) {
        return createVertexShaderFromFile(d3dx, *device, path, edge ? edgeShaderDeclaration() : celShaderDeclaration());
    }
};

TEST_F(ShaderCreation, BothProgramsCreateSelectAndGetDistinctHandles) {
    const int32_t cel = create(dataPath("celshading.txt"));
    ASSERT_TRUE(d3dx);  // created on first use
    EXPECT_EQ(device->GetVertexShader(), uint32_t(cel));
    const int32_t edge = create(dataPath("shver2.txt"), true);
    EXPECT_EQ(device->GetVertexShader(), uint32_t(edge));
    const int32_t cel2 = create(dataPath("celshading.txt"));
    EXPECT_EQ((std::set<int32_t>{cel, edge, cel2}.size()), 3u);
    EXPECT_TRUE(uint32_t(cel) & 0x80000000u);  // a handle is never taken for a vertex format code
    device->DeleteVertexShader(uint32_t(cel2));
    EXPECT_NE(errorOf([&] { device->SetVertexShader(uint32_t(cel2)); }).number(), 0);
    EXPECT_NE(errorOf([&] { device->DeleteVertexShader(uint32_t(cel2)); }).number(), 0);
}

TEST_F(ShaderCreation, FailuresRaiseTheirStatusAndCreateNothing) {
    const uint32_t before = device->GetVertexShader();
    const rt::Error bad = errorOf([&] { create(writeTemp("bad.vsh", "vs.1.1\nmov oPos, v0\nmvo r0, v0\n")); });
    EXPECT_EQ(bad.number(), D3DXERR_INVALIDDATA);
    EXPECT_NE(bad.text().find("bad.vsh:3:1: unknown instruction 'mvo'"), std::string::npos) << bad.text();
    EXPECT_EQ(errorOf([&] { create(dataPath("no-such-shader.txt")); }).number(), D3DERR_NOTFOUND);
    const std::string folder = std::filesystem::path(writeTemp("beside.vsh", "")).parent_path().string();
    const rt::Error directory = errorOf([&] { create(folder); });
    EXPECT_EQ(directory.number(), D3DXERR_INVALIDDATA);
    EXPECT_NE(directory.text().find(folder + ": cannot read the file (it is a directory"), std::string::npos) << directory.text();
    // A FIFO with no writer: reading it would wait for ever.
    const std::string fifo = folder + "/celshading-" + std::to_string(getpid()) + ".txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const rt::Error pipe = errorOf([&] { create(fifo); });
    EXPECT_EQ(pipe.number(), D3DXERR_INVALIDDATA);
    EXPECT_NE(pipe.text().find(fifo + ": cannot read the file (it is a FIFO)"), std::string::npos) << pipe.text();
    std::filesystem::remove(fifo);
    const uint32_t code[] = {0xFFFE0101, 1, 0xC00F0000, 0x90E40000, 0x0000FFFF}, badCode[] = {0xFFFE0101, 0x1234, 0x0000FFFF};
    const uint32_t noStream[] = {0x40020000, 0xFFFFFFFF};
    EXPECT_EQ(errorOf([&] { device->CreateVertexShader(noStream, code, D3DUSAGE_SOFTWAREPROCESSING); }).number(), D3DERR_INVALIDCALL);
    EXPECT_EQ(errorOf([&] { device->CreateVertexShader(celShaderDeclaration().data(), badCode, 0); }).number(), D3DERR_INVALIDCALL);
    EXPECT_EQ(errorOf([&] { device->CreateVertexShader(celShaderDeclaration().data(), code, 0x8); }).number(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetVertexShader(), before);
}

// Constants a program defines itself never reach the device: only the declaration given at
// creation does, and it has none.
TEST_F(ShaderCreation, ProgramDefinedConstantsAreDropped) {
    create(writeTemp("def.vsh", "vs.1.1\ndef c20, 1, 1, 1, 1\nmov oPos, v0\nmov oD0, c20\n"));
    device->SetRenderState(D3DRS_ZENABLE, 0);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    // One clockwise triangle over the whole target, in clip coordinates; 32-byte cel-pass
    // vertices. The default stage 0 modulates the unbound (white) texture with the colour.
    const float tri[3][8] = {{-1, -1, 0.5f, 0, 0, 1, 0, 0}, {-1, 3, 0.5f, 0, 0, 1, 0, 0}, {3, -1, 0.5f, 0, 0, 1, 0, 0}};
    device->BeginScene();
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 32);
    device->EndScene();
    EXPECT_EQ(device->readBackBuffer().at(4, 4) & 0xFFFFFF, 0u);  // c20 read as 0, not white
}

}  // namespace
