// Creation, recorded state, argument checks and draw assembly of the device.
#include <cstring>
#include <functional>

#include "OffscreenDevice.h"
#include "runtime/Status.h"

namespace {

// Runs `call` and expects D3DERR_INVALIDCALL whose text names `method`.
void expectInvalidCall(const std::function<void()>& call, const std::string& method) {
    try {
        call();
        ADD_FAILURE() << method << " did not fail";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), D3DERR_INVALIDCALL) << e.text();
        EXPECT_NE(e.text().find(method), std::string::npos) << e.text();
    }
}

TEST(DeviceDefaults, FreshDeviceHasDirect3DDefaults) {
    auto device = makeOffscreenDevice(8, 8);
    EXPECT_EQ(device->GetRenderState(D3DRS_ZENABLE), D3DZB_TRUE);  // automatic depth buffer
    EXPECT_EQ(device->GetRenderState(D3DRS_SHADEMODE), D3DSHADE_GOURAUD);
    EXPECT_EQ(device->GetRenderState(D3DRS_ZWRITEENABLE), 1u);
    EXPECT_EQ(device->GetRenderState(D3DRS_ALPHATESTENABLE), 0u);
    EXPECT_EQ(device->GetRenderState(D3DRS_LASTPIXEL), 1u);
    EXPECT_EQ(device->GetRenderState(D3DRS_SRCBLEND), D3DBLEND_ONE);
    EXPECT_EQ(device->GetRenderState(D3DRS_DESTBLEND), D3DBLEND_ZERO);
    EXPECT_EQ(device->GetRenderState(D3DRS_CULLMODE), D3DCULL_CCW);
    EXPECT_EQ(device->GetRenderState(D3DRS_ZFUNC), D3DCMP_LESSEQUAL);
    EXPECT_EQ(device->GetRenderState(D3DRS_ALPHAFUNC), D3DCMP_ALWAYS);
    EXPECT_EQ(device->GetRenderState(D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(device->GetRenderState(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
    EXPECT_EQ(device->GetRenderState(D3DRS_LIGHTING), 1u);
    EXPECT_EQ(device->GetRenderState(D3DRS_COLORWRITEENABLE), 0xFu);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_COLOROP), D3DTOP_MODULATE);
    EXPECT_EQ(device->GetTextureStageState(1, D3DTSS_COLOROP), D3DTOP_DISABLE);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_ALPHAOP), D3DTOP_SELECTARG1);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_COLORARG1), D3DTA_TEXTURE);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_COLORARG2), D3DTA_CURRENT);
    EXPECT_EQ(device->GetTextureStageState(3, D3DTSS_TEXCOORDINDEX), 3u);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_ADDRESSU), D3DTADDRESS_WRAP);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_MAGFILTER), D3DTEXF_POINT);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_MIPFILTER), D3DTEXF_NONE);
    D3DMATRIX world = device->GetTransform(D3DTS_WORLD), identity = D3DXMatrixIdentity();
    EXPECT_EQ(std::memcmp(&world, &identity, sizeof world), 0);
    D3DVIEWPORT8 viewport = device->GetViewport();
    EXPECT_EQ(viewport.Width, 8u);
    EXPECT_EQ(viewport.MaxZ, 1.0f);
    EXPECT_EQ(device->GetTexture(0), nullptr);
}

TEST(DeviceDefaults, StatesReadBackWhatWasSet) {
    auto device = makeOffscreenDevice(8, 8);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 0xFFFFFFFF);
    EXPECT_EQ(device->GetRenderState(D3DRS_ALPHATESTENABLE), 0xFFFFFFFFu);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_MINFILTER), D3DTEXF_LINEAR);
    D3DMATRIX m = D3DXMatrixIdentity();
    m._43 = 40.0f;
    device->SetTransform(D3DTS_VIEW, m);
    EXPECT_EQ(device->GetTransform(D3DTS_VIEW)._43, 40.0f);
    auto texture = device->CreateTexture(4, 4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
    EXPECT_EQ(texture->levelCount(), 3u);
    device->SetTexture(0, texture);
    EXPECT_EQ(device->GetTexture(0), texture);
    device->SetVertexShader(kTLVertexFvf);
    EXPECT_EQ(device->GetVertexShader(), kTLVertexFvf);
}

TEST(DeviceCreation, RejectsWhatItCannotMake) {
    auto d3d = DirectX8().Direct3DCreate();
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0).Format, D3DFMT_X8R8G8B8);
    expectInvalidCall([&] { d3d->GetAdapterDisplayMode(1); }, "GetAdapterDisplayMode");
    D3DPRESENT_PARAMETERS params{};
    params.Windowed = 1;
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    params.EnableAutoDepthStencil = 1;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    const uint32_t sw = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    // No window and no size: nothing to size the back buffer by.
    expectInvalidCall([&] { d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, sw, params); }, "CreateDevice");
    params.BackBufferWidth = params.BackBufferHeight = 8;
    expectInvalidCall([&] { d3d->CreateDevice(1, D3DDEVTYPE_HAL, nullptr, sw, params); }, "CreateDevice");
    expectInvalidCall([&] { d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, params); }, "CreateDevice");
    params.AutoDepthStencilFormat = 75;  // D24S8
    expectInvalidCall([&] { d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, sw, params); }, "CreateDevice");
    params.AutoDepthStencilFormat = D3DFMT_D16;
    params.FullScreen_PresentationInterval = 7;
    expectInvalidCall([&] { d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, sw, params); }, "CreateDevice");
    params.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, sw, params)->backBufferWidth(), 8u);
}

TEST(DeviceWithoutDepthBuffer, StartsWithDepthOffAndRefusesToClearIt) {
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = params.BackBufferHeight = 4;
    params.Windowed = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    auto device = DirectX8().Direct3DCreate()->CreateDevice(0, D3DDEVTYPE_HAL, nullptr,
                                                            D3DCREATE_SOFTWARE_VERTEXPROCESSING, params);
    EXPECT_EQ(device->GetRenderState(D3DRS_ZENABLE), D3DZB_FALSE);
    expectInvalidCall([&] { device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0); }, "Clear");
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0);
    EXPECT_EQ(device->readBackBuffer().at(3, 3), 0xFF123456u);
}

using SceneMisuse = OffscreenDeviceTest;

TEST_F(SceneMisuse, NestingAndDrawingOutsideAScene) {
    TLVertex line[] = {tl(0, 0), tl(3, 3)};
    expectInvalidCall([&] { device->EndScene(); }, "EndScene");
    expectInvalidCall([&] { device->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(TLVertex)); },
                      "DrawPrimitiveUP");
    expectInvalidCall([&] { device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1); },
                      "DrawIndexedPrimitive");
    device->BeginScene();
    expectInvalidCall([&] { device->BeginScene(); }, "BeginScene");
    device->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(TLVertex));
    device->EndScene();
    expectInvalidCall([&] { device->EndScene(); }, "EndScene");
    // The failed calls changed nothing: a new scene begins normally.
    device->BeginScene();
    device->EndScene();
}

TEST_F(SceneMisuse, BadArgumentsNameTheCallAndTheReason) {
    expectInvalidCall([&] { device->SetRenderState(0, 1); }, "SetRenderState");
    expectInvalidCall([&] { device->SetRenderState(500, 1); }, "SetRenderState");
    expectInvalidCall([&] { device->GetRenderState(500); }, "GetRenderState");
    expectInvalidCall([&] { device->SetTextureStageState(8, D3DTSS_COLOROP, 1); }, "SetTextureStageState");
    expectInvalidCall([&] { device->SetTextureStageState(0, 40, 1); }, "SetTextureStageState");
    expectInvalidCall([&] { device->SetTexture(8, nullptr); }, "SetTexture");
    expectInvalidCall([&] { device->SetTransform(1, D3DXMatrixIdentity()); }, "SetTransform");
    expectInvalidCall([&] { device->SetStreamSource(16, nullptr, 0); }, "SetStreamSource");
    expectInvalidCall([&] { device->SetVertexShader(0x80000005u); }, "SetVertexShader");
    expectInvalidCall([&] { device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0); }, "Clear");
    expectInvalidCall([&] { device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0); }, "Clear");
    expectInvalidCall([&] { device->CreateIndexBuffer(6, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED); },
                      "CreateIndexBuffer");
    expectInvalidCall([&] { device->CreateVertexBuffer(0, 0, 0, D3DPOOL_MANAGED); }, "CreateVertexBuffer");
    expectInvalidCall([&] { device->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED); },
                      "CreateTexture");

    device->BeginScene();
    TLVertex line[] = {tl(0, 0), tl(3, 3)};
    expectInvalidCall([&] { device->DrawPrimitiveUP(9, 1, line, sizeof(TLVertex)); }, "DrawPrimitiveUP");
    expectInvalidCall([&] { device->DrawPrimitiveUP(D3DPT_LINELIST, 1, nullptr, sizeof(TLVertex)); },
                      "DrawPrimitiveUP");
    expectInvalidCall([&] { device->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, 8); }, "DrawPrimitiveUP");
    expectInvalidCall([&] { device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0x7FFFFFFF, line, sizeof(TLVertex)); },
                      "DrawPrimitiveUP");
    expectInvalidCall([&] { device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1); },
                      "DrawIndexedPrimitive");  // no index buffer
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    expectInvalidCall([&] { device->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(TLVertex)); },
                      "DrawPrimitiveUP");  // untransformed vertices need a shader
    device->EndScene();
}

class IndexedDraw : public OffscreenDeviceTest {
protected:
    void SetUp() override {
        OffscreenDeviceTest::SetUp();
        std::vector<TLVertex> vertices = {tl(99, 99), tl(1, 1, 0xFFFF0000), tl(5, 1, 0xFFFF0000),
                                          tl(5, 5, 0xFFFF0000), tl(1, 5, 0xFFFF0000)};
        vb = device->CreateVertexBuffer(static_cast<uint32_t>(vertices.size() * sizeof(TLVertex)), 0, kTLVertexFvf,
                                        D3DPOOL_MANAGED);
        vb->write(0, std::as_bytes(std::span(vertices)));
        const uint16_t indices[] = {0, 1, 2, 0, 2, 3, 7, 7, 7};
        ib = device->CreateIndexBuffer(sizeof indices, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED);
        ib->write(0, std::as_bytes(std::span(indices)));
        device->SetStreamSource(0, vb, sizeof(TLVertex));
        device->SetIndices(ib, 1);  // index 0 is vertex 1
    }
    std::shared_ptr<Direct3DVertexBuffer8> vb;
    std::shared_ptr<Direct3DIndexBuffer8> ib;
};

TEST_F(IndexedDraw, SharedVerticesAreProcessedOnce) {
    device->BeginScene();
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2);
    device->EndScene();
    EXPECT_EQ(device->lastDrawStats().verticesProcessed, 4u);
    EXPECT_EQ(device->lastDrawStats().primitivesSubmitted, 2u);
    EXPECT_EQ(covered(device->readBackBuffer()).size(), 16u);
}

TEST_F(IndexedDraw, IndicesPastTheBuffersAreRefused) {
    device->BeginScene();
    // Index 7 + base 1 is past the 5 vertices.
    expectInvalidCall([&] { device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 6, 1); }, "DrawIndexedPrimitive");
    // Start index 6 + 6 indices runs past the 9 indices.
    expectInvalidCall([&] { device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 6, 2); }, "DrawIndexedPrimitive");
    device->EndScene();
}

TEST_F(IndexedDraw, DrawingFromMemoryUnsetsStreamZero) {
    device->BeginScene();
    TLVertex line[] = {tl(0, 0), tl(3, 3)};
    device->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(TLVertex));
    expectInvalidCall([&] { device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2); }, "DrawIndexedPrimitive");
    device->SetStreamSource(0, vb, sizeof(TLVertex));
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2);
    device->EndScene();
}

TEST_F(IndexedDraw, StripsAndFansKeepTheirWinding) {
    // With counter-clockwise culling, a clockwise strip and fan of the square draw whole.
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->BeginScene();
    TLVertex strip[] = {tl(1, 1), tl(5, 1), tl(1, 5), tl(5, 5)};
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(TLVertex));
    device->EndScene();
    EXPECT_EQ(covered(device->readBackBuffer()).size(), 16u);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    device->BeginScene();
    TLVertex fan[] = {tl(1, 1), tl(5, 1), tl(5, 5), tl(1, 5)};
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, fan, sizeof(TLVertex));
    device->EndScene();
    EXPECT_EQ(covered(device->readBackBuffer()).size(), 16u);
}

TEST_F(IndexedDraw, PresentFinishesAnOffscreenFrame) {
    device->BeginScene();
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(device->readBackBuffer().at(2, 2), 0xFFFF0000u);
}

}  // namespace
