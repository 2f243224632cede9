// Vertices that arrive in clip space (through a pass-through vertex shader): the viewport
// mapping with its y flip, perspective division, the near and far planes, and depth.
#include "OffscreenDevice.h"
#include "vs/Assembler.h"

#include <cstring>

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kWhite = 0xFFFFFFFF;

struct ClipVertex {
    float x, y, z, w;
    uint32_t diffuse;
};

// Stream 0: v0 four floats, v5 a packed colour.
constexpr uint32_t kStream0 = 1u << 29, kEnd = 0xFFFFFFFF;
constexpr uint32_t reg(uint32_t r, uint32_t type) { return 2u << 29 | type << 16 | r; }
const uint32_t kDeclaration[] = {kStream0, reg(0, 3), reg(5, 4), kEnd};

class ClipSpace : public OffscreenDeviceTest {
protected:
    void SetUp() override {
        OffscreenDeviceTest::SetUp();
        vs::Assembly assembly = vs::assemble("vs.1.1\nmov oPos, v0\nmov oD0, v5\n", "passthrough");
        shader = device->CreateVertexShader(kDeclaration, assembly.function.data(), D3DUSAGE_SOFTWAREPROCESSING);
    }
    void drawClip(D3DPRIMITIVETYPE type, uint32_t count, const std::vector<ClipVertex>& vertices) {
        device->SetVertexShader(shader);
        device->BeginScene();
        device->DrawPrimitiveUP(type, count, vertices.data(), sizeof(ClipVertex));
        device->EndScene();
    }
    // Clip x of the centre of pixel column `px` on the 16-pixel-wide target (w = 1).
    static float clipX(float px) { return px / 8.0f - 1.0f; }
    static float clipY(float py) { return 1.0f - py / 8.0f; }
    uint32_t shader = 0;
};

TEST_F(ClipSpace, PixelCentresSitAtIntegerScreenCoordinatesWithYDown) {
    drawClip(D3DPT_POINTLIST, 2, {{clipX(3), clipY(5), 0.5f, 1, kWhite}, {0, 0, 0.5f, 1, kWhite}});
    auto pixels = covered(device->readBackBuffer());
    ASSERT_EQ(pixels.size(), 2u);
    EXPECT_EQ(pixels[0], std::make_pair(3u, 5u));
    EXPECT_EQ(pixels[1], std::make_pair(8u, 8u));
}

TEST_F(ClipSpace, PositionsAreDividedByW) {
    drawClip(D3DPT_POINTLIST, 1, {{4 * clipX(12), 4 * clipY(2), 2.0f, 4, kWhite}});
    auto pixels = covered(device->readBackBuffer());
    ASSERT_EQ(pixels.size(), 1u);
    EXPECT_EQ(pixels[0], std::make_pair(12u, 2u));
}

TEST_F(ClipSpace, NearAndFarPlanesCutTriangles) {
    // z runs from -0.5 w at the left edge to +0.5 w at the right: the near plane z = 0
    // keeps the right half. Then 0.5 .. 1.5: the far plane z = w keeps the left half.
    for (float offset : {0.0f, 1.0f}) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0);
        const float l = -0.5f + offset, r = 0.5f + offset;
        drawClip(D3DPT_TRIANGLELIST, 2, {{-1, 1, l, 1, kWhite}, {1, 1, r, 1, kWhite}, {1, -1, r, 1, kWhite},
                                         {-1, 1, l, 1, kWhite}, {1, -1, r, 1, kWhite}, {-1, -1, l, 1, kWhite}});
        BackBufferImage image = device->readBackBuffer();
        bool nearCut = offset == 0.0f;
        EXPECT_EQ(image.at(2, 8) != kBlack, !nearCut);
        EXPECT_EQ(image.at(13, 8) != kBlack, nearCut);
    }
}

TEST_F(ClipSpace, DepthIsZOverWLikePreTransformedZ) {
    // A pre-transformed quad at z = 0.25, then a clip-space one at z/w = 0.5/2 over it.
    draw(D3DPT_TRIANGLELIST, {tl(0, 0, kRed, 0.25f), tl(16, 0, kRed, 0.25f), tl(16, 16, kRed, 0.25f)});
    std::vector<ClipVertex> quad = {{-2, 2, 0.5f, 2, kGreen}, {2, 2, 0.5f, 2, kGreen}, {2, -2, 0.5f, 2, kGreen}};
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    drawClip(D3DPT_TRIANGLELIST, 1, quad);
    EXPECT_EQ(device->readBackBuffer().at(12, 3), kRed);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_EQUAL);
    drawClip(D3DPT_TRIANGLELIST, 1, quad);
    EXPECT_EQ(device->readBackBuffer().at(12, 3), kGreen);
}

}  // namespace

TEST(DeclaredConstants, LoadWhenTheShaderIsSelectedSoLaterConstantsWin) {
    auto device = makeOffscreenDevice(16, 16);
    // c4 = (1, 0, 0, 1) from the declaration: D3DVSD_CONST(4, 1) and four floats.
    const float one = 1.0f, zero = 0.0f;
    uint32_t oneBits, zeroBits;
    std::memcpy(&oneBits, &one, 4);
    std::memcpy(&zeroBits, &zero, 4);
    const uint32_t declaration[] = {kStream0, reg(0, 3), reg(5, 4), 0x82000004u, oneBits, zeroBits, zeroBits, oneBits, kEnd};
    vs::Assembly assembly = vs::assemble("vs.1.1\nmov oPos, v0\nmov oD0, c4\n", "declared");
    const uint32_t shader = device->CreateVertexShader(declaration, assembly.function.data(), D3DUSAGE_SOFTWAREPROCESSING);
    const std::vector<ClipVertex> quad = {{-1, 1, 0.5f, 1, kWhite}, {1, 1, 0.5f, 1, kWhite}, {1, -1, 0.5f, 1, kWhite}};
    auto drawQuad = [&] {
        device->BeginScene();
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, quad.data(), sizeof(ClipVertex));
        device->EndScene();
        return device->readBackBuffer().at(12, 3);
    };

    device->SetVertexShader(shader);
    EXPECT_EQ(drawQuad(), kRed);
    const D3DXVECTOR4 green{0, 1, 0, 1};
    device->SetVertexShaderConstant(4, &green, 1);
    EXPECT_EQ(drawQuad(), kGreen) << "a constant set after selection must win over the declaration's";
    device->SetVertexShader(shader);
    EXPECT_EQ(drawQuad(), kRed) << "selecting the shader again loads its constants again";
}
