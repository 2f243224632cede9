// Vertices that arrive in clip space (through a vertex shader): the near and far planes,
// depth, and the constants a shader's declaration carries. (The viewport mapping, its y flip
// and the division by w are every GoldenFrame.)
#include <bit>

#include "OffscreenDevice.h"
#include "vs/Assembler.h"

namespace {

struct ClipVertex { float x, y, z, w; uint32_t diffuse; };

// Stream 0: v0 four floats, v5 a packed colour.
constexpr uint32_t kStream0 = 1u << 29, kV0 = 2u << 29 | 3 << 16, kV5 = 2u << 29 | 4 << 16 | 5, kEnd = 0xFFFFFFFF;

class ClipSpace : public OffscreenDeviceTest {
protected:
    void SetUp() override {
        OffscreenDeviceTest::SetUp();
        shader = makeShader({kStream0, kV0, kV5, kEnd}, "mov oD0, v5");
    }
    uint32_t makeShader(const std::vector<uint32_t>& declaration, const std::string& colour) {
        vs::Assembly assembly = vs::assemble("vs.1.1\nmov oPos, v0\n" + colour + "\n", "test");
        return device->CreateVertexShader(declaration.data(), assembly.function.data(), D3DUSAGE_SOFTWAREPROCESSING);
    }
    void drawClip(D3DPRIMITIVETYPE type, const std::vector<ClipVertex>& vertices, bool select = true) {
        if (select) device->SetVertexShader(shader);
        device->BeginScene();
        const auto count = static_cast<uint32_t>(vertices.size() / (type == D3DPT_TRIANGLELIST ? 3 : 1));
        device->DrawPrimitiveUP(type, count, vertices.data(), sizeof(ClipVertex));
        device->EndScene();
    }
    uint32_t shader = 0;
};

TEST_F(ClipSpace, NearAndFarPlanesCutTrianglesAndDepthIsZOverW) {
    // z runs from -0.5 w at the left edge to +0.5 w at the right: the near plane z = 0
    // keeps the right half. Then 0.5 .. 1.5: the far plane z = w keeps the left half.
    for (float l : {-0.5f, 0.5f}) {
        clear();
        const float r = l + 1;
        drawClip(D3DPT_TRIANGLELIST, {{-1, 1, l, 1, kWhite}, {1, 1, r, 1, kWhite}, {1, -1, r, 1, kWhite},
                                      {-1, 1, l, 1, kWhite}, {1, -1, r, 1, kWhite}, {-1, -1, l, 1, kWhite}});
        BackBufferImage image = device->readBackBuffer();
        EXPECT_EQ(image.at(2, 8) != kBlack, l > 0) << l;
        EXPECT_EQ(image.at(13, 8) != kBlack, l < 0) << l;
    }
    // A pre-transformed square at z = 0.25, then a clip-space triangle at z/w = 0.5/2 over it.
    clear();
    draw(D3DPT_TRIANGLELIST, rect(0, 0, 16, 16, kRed, 0.25f));
    for (auto [func, shown] : {std::pair(D3DCMP_LESS, kRed), std::pair(D3DCMP_EQUAL, kGreen)}) {
        device->SetRenderState(D3DRS_ZFUNC, func);
        drawClip(D3DPT_TRIANGLELIST, {{-2, 2, 0.5f, 2, kGreen}, {2, 2, 0.5f, 2, kGreen}, {2, -2, 0.5f, 2, kGreen}});
        EXPECT_EQ(device->readBackBuffer().at(12, 3), shown) << "depth function " << func;
    }
}

TEST_F(ClipSpace, DeclaredConstantsLoadWhenTheShaderIsSelectedSoLaterConstantsWin) {
    // c4 = (1, 0, 0, 1) from the declaration: a constant token for 1 register, four floats.
    const uint32_t one = std::bit_cast<uint32_t>(1.0f), zero = std::bit_cast<uint32_t>(0.0f);
    shader = makeShader({kStream0, kV0, kV5, 0x82000004u, one, zero, zero, one, kEnd}, "mov oD0, c4");
    auto drawTriangle = [&](bool select) {
        drawClip(D3DPT_TRIANGLELIST, {{-1, 1, 0.5f, 1, kWhite}, {1, 1, 0.5f, 1, kWhite}, {1, -1, 0.5f, 1, kWhite}}, select);
        return device->readBackBuffer().at(12, 3);
    };
    EXPECT_EQ(drawTriangle(true), kRed);
    const D3DXVECTOR4 green{0, 1, 0, 1};
    device->SetVertexShaderConstant(4, &green, 1);
    EXPECT_EQ(drawTriangle(false), kGreen) << "a constant set after selection wins over the declaration's";
    EXPECT_EQ(drawTriangle(true), kRed) << "selecting the shader again loads its constants again";
}

}  // namespace
