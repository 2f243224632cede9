// Rasterization rules of the off-screen device: fill rule, culling, depth, clears, the
// stage-0 combiner and texture sampling, lines.
#include "OffscreenDevice.h"

#include <random>
#include <span>

namespace {

using Raster = OffscreenDeviceTest;

TEST_F(Raster, SharedEdgesAndLastPixelsAreNotDrawnTwice) {
    // Additive blending shows any pixel drawn twice. Pixel centres sit at integer
    // coordinates: the square (1,1)-(6,6) covers columns and rows 1..5 by the top-left rule.
    // A line ending off-centre, outside its end pixel's diamond, already covers that pixel.
    renderStates({{D3DRS_ALPHABLENDENABLE, 1}, {D3DRS_SRCBLEND, D3DBLEND_ONE}, {D3DRS_DESTBLEND, D3DBLEND_ONE}});
    const uint32_t grey = 0xFF404040;
    draw(D3DPT_TRIANGLELIST, rect(1, 1, 6, 6, grey));
    draw(D3DPT_LINELIST, {tl(1, 8, grey), tl(6.4f, 8.4f, grey), tl(1, 11, grey), tl(6, 11, grey)});
    BackBufferImage image = device->readBackBuffer();
    uint32_t inSquare = 0;
    for (auto [x, y] : covered(image)) {
        EXPECT_EQ(image.at(x, y), grey) << "drawn twice at " << x << "," << y;
        if (y > 6) continue;  // the lines
        ++inSquare;
        EXPECT_TRUE(x >= 1 && x <= 5 && y >= 1 && y <= 5) << x << "," << y;
    }
    EXPECT_EQ(inSquare, 25u);
}

TEST_F(Raster, EveryDrawOfAFrameKeepsItsOwnVertices) {
    // More draws in one frame than the rasterizer has buffers to fill, of growing sizes (a
    // draw repeats its square), each a pixel of its own: none may draw another's vertices.
    std::vector<Pixel> expected;
    device->BeginScene();
    device->SetVertexShader(kTLVertexFvf);
    for (uint32_t i = 0; i < 40; ++i) {
        const float x = static_cast<float>(i % 16), y = static_cast<float>(i / 16);
        std::vector<TLVertex> vertices;
        for (uint32_t copy = 0; copy <= i; ++copy) {
            const std::vector<TLVertex> square = rect(x, y, x + 1, y + 1);
            vertices.insert(vertices.end(), square.begin(), square.end());
        }
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<uint32_t>(vertices.size() / 3), vertices.data(),
                                sizeof(TLVertex));
        expected.emplace_back(i % 16, i / 16);  // row by row, as covered() lists them
    }
    device->EndScene();
    EXPECT_EQ(covered(), expected);
}

TEST_F(Raster, CullModesDropTheTrianglesOfTheirWinding) {
    // (1,1) (8,1) (1,8) runs clockwise on screen (y down); listed the other way round it runs
    // counter-clockwise. Cull mode 0: the fresh device's default.
    const std::tuple<uint32_t, bool, bool> cases[] = {
        {0, true, false}, {D3DCULL_NONE, true, true}, {D3DCULL_CW, false, true}, {D3DCULL_CCW, true, false}};
    for (auto [mode, clockwiseShown, counterClockwiseShown] : cases) {
        SCOPED_TRACE(testing::Message() << "cull mode " << mode);
        open(16, 16, mode);
        draw(D3DPT_TRIANGLELIST, {tl(1, 1), tl(8, 1), tl(1, 8)});
        EXPECT_EQ(!covered().empty(), clockwiseShown);
        clear();
        draw(D3DPT_TRIANGLELIST, {tl(1, 1), tl(1, 8), tl(8, 1)});
        EXPECT_EQ(!covered().empty(), counterClockwiseShown);
    }
}

TEST_F(Raster, DepthBufferHasSixteenBitsAndClipsOutsideZeroToOne) {
    auto quad = [&](float z, uint32_t colour) {
        draw(D3DPT_TRIANGLELIST, rect(0, 0, 4, 4, colour, z));
        return device->readBackBuffer().at(2, 2);
    };
    const float level = 30000.0f / 65535.0f;
    quad(level, kRed);
    EXPECT_EQ(quad(level - 0.2f / 65535.0f, kGreen), kGreen) << "same 16-bit level passes the default LESSEQUAL";
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    EXPECT_EQ(quad(level - 0.2f / 65535.0f, kRed), kGreen) << "same 16-bit level: not less";
    EXPECT_EQ(quad(level - 1.0f / 65535.0f, kBlue), kBlue) << "one level nearer";
    clear();
    EXPECT_EQ(quad(1.5f, kRed), kBlack);
    EXPECT_EQ(quad(-0.5f, kRed), kBlack);
}

class TextureStage : public OffscreenDeviceTest {
protected:
    std::shared_ptr<Direct3DTexture8> texture(std::vector<uint32_t> texels, uint32_t format = D3DFMT_A8R8G8B8) {
        auto t = device->CreateTexture(static_cast<uint32_t>(texels.size()), 1, 1, 0, format, D3DPOOL_MANAGED);
        t->mutableLevel(0).texels = std::move(texels);
        return t;
    }
    void stage(uint32_t colorOp, uint32_t arg1, uint32_t arg2 = D3DTA_CURRENT, uint32_t alphaArg1 = D3DTA_DIFFUSE) {
        stageStates({{D3DTSS_COLOROP, colorOp}, {D3DTSS_COLORARG1, arg1}, {D3DTSS_COLORARG2, arg2}, {D3DTSS_ALPHAARG1, alphaArg1}});
    }
    // The first row of a quad over pixels x 0..7, y 0..1 with u running from 0 to uMax.
    std::vector<uint32_t> strip(float uMax, uint32_t diffuse = kWhite) {
        draw(D3DPT_TRIANGLELIST, rect(-0.5f, -0.5f, 7.5f, 1.5f, diffuse, 0.5f, uMax));
        BackBufferImage image = device->readBackBuffer();
        return {image.pixels.begin(), image.pixels.begin() + 8};
    }
};

TEST_F(TextureStage, CombinerOperationsAndArguments) {
    // Texel 0: no texture bound. The texture factor is 0x80123456.
    struct Case { const char* what; uint32_t colorOp, arg1, arg2, alphaArg1, texel, format, diffuse, expected; };
    const Case cases[] = {
        {"modulate", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_DIFFUSE, 0xFFFF8040, D3DFMT_A8R8G8B8, 0xFF80FF00, 0xFF808000},
        {"factor", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTA_TFACTOR, 0, 0, kRed, 0x80123456},
        {"unbound texture is white", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTA_DIFFUSE, 0, 0, 0xFF336699, 0xFF336699},
        {"X8R8G8B8 alpha is 1", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTA_TEXTURE, 0x0000FF00, D3DFMT_X8R8G8B8, kWhite, kGreen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        open(16, 16);
        device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80123456);
        if (c.texel != 0) device->SetTexture(0, texture({c.texel}, c.format));
        stage(c.colorOp, c.arg1, c.arg2, c.alphaArg1);
        EXPECT_EQ(strip(1.0f, c.diffuse)[3], c.expected);
    }
}

TEST_F(TextureStage, PointSamplingWrapsAndLinearBlendsNeighbours) {
    device->SetTexture(0, texture({kBlack, kWhite}));
    stage(D3DTOP_SELECTARG1, D3DTA_TEXTURE);
    // Point: pixel centres u = (x + 0.5) / 4 pick floor(u * 2), repeated past u = 1.
    EXPECT_EQ(strip(2.0f), (std::vector{kBlack, kBlack, kWhite, kWhite, kBlack, kBlack, kWhite, kWhite}));
    stageStates({{D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP}, {D3DTSS_MAGFILTER, D3DTEXF_LINEAR}});
    std::vector<uint32_t> row = strip(1.0f);
    EXPECT_EQ(row[0], kBlack);  // clamped at the left edge
    EXPECT_EQ(row[7], kWhite);
    EXPECT_TRUE((row[3] & 0xFF) > (row[2] & 0xFF) && (row[3] & 0xFF) < 0xFF) << std::hex << row[2] << " " << row[3];
    // Texels changed after a draw are uploaded again.
    device->GetTexture(0)->mutableLevel(0).texels[0] = kGreen;
    EXPECT_EQ(strip(1.0f)[0], kGreen);
}

TEST_F(Raster, LineEndPixels) {
    // The last pixel is drawn by default and dropped without LASTPIXEL; a diagonal has one
    // pixel per step.
    const std::vector<TLVertex> lines = {tl(2, 3), tl(7, 3), tl(9, 5), tl(14, 10)};
    draw(D3DPT_LINELIST, lines);
    std::vector<Pixel> expected;
    for (uint32_t x = 2; x <= 7; ++x) expected.emplace_back(x, 3);
    for (uint32_t i = 0; i <= 5; ++i) expected.emplace_back(9 + i, 5 + i);
    EXPECT_EQ(covered(), expected);
    clear();
    device->SetRenderState(D3DRS_LASTPIXEL, 0);
    draw(D3DPT_LINELIST, lines);
    std::erase(expected, Pixel(7, 3));
    std::erase(expected, Pixel(14, 10));
    EXPECT_EQ(covered(), expected);
}

}  // namespace

namespace {

// Random overlapping triangles at random depths, drawn from a pool of shared vertices: runs
// split the triangles that share a vertex between draws.
struct Soup {
    std::vector<TLVertex> vertices;
    std::vector<uint16_t> indices;
    std::vector<TLVertex> corners;  // the same triangles without indices
};

Soup soup() {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> position(-4.0f, 36.0f), depth(0.0f, 1.0f);
    std::uniform_int_distribution<uint32_t> colour(0, 0xFFFFFF);
    Soup s;
    for (int i = 0; i < 60; ++i) s.vertices.push_back(tl(position(random), position(random), 0xFF000000 | colour(random), depth(random)));
    for (int i = 0; i < 3 * 200; ++i) s.indices.push_back(static_cast<uint16_t>(random() % 60));
    for (uint16_t i : s.indices) s.corners.push_back(s.vertices[i]);
    return s;
}

}  // namespace

TEST_F(Raster, ListsDrawnInRunsMatchOneDrawToThePixel) {
    open(32, 32);
    const Soup s = soup();
    auto vb = device->CreateVertexBuffer(static_cast<uint32_t>(s.vertices.size() * sizeof(TLVertex)), 0, kTLVertexFvf, D3DPOOL_MANAGED);
    vb->write(0, std::as_bytes(std::span(s.vertices)));
    auto ib = device->CreateIndexBuffer(static_cast<uint32_t>(s.indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED);
    ib->write(0, std::as_bytes(std::span(s.indices)));
    auto picture = [&](uint32_t runLimit, bool indexed) {
        device->setRunLimit(runLimit);
        clear();
        if (indexed) {
            device->BeginScene();
            device->SetStreamSource(0, vb, sizeof(TLVertex));
            device->SetIndices(ib, 0);
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 60, 0, 200);
            device->EndScene();
        } else {
            draw(D3DPT_TRIANGLELIST, s.corners);
        }
        EXPECT_EQ(device->lastDrawStats().primitivesSubmitted, 200u);
        return device->readBackBuffer().pixels;
    };
    for (bool indexed : {true, false}) {
        SCOPED_TRACE(indexed ? "indexed" : "from memory");
        const std::vector<uint32_t> whole = picture(100000, indexed);
        EXPECT_GT(covered().size(), 500u);
        for (uint32_t limit : {3u, 9u, 31u}) EXPECT_EQ(picture(limit, indexed), whole) << limit;
    }
    // An index past the vertices in the last run fails the draw before any run is drawn.
    device->setRunLimit(9);
    clear();
    ib->write(static_cast<uint32_t>(s.indices.size() * 2 - 2), std::as_bytes(std::span<const uint16_t>({uint16_t{60}})));
    device->BeginScene();
    EXPECT_THROW(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 60, 0, 200), rt::Error);
    device->EndScene();
    EXPECT_TRUE(covered().empty());
}
