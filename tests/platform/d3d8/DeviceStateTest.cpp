// Creation and argument checks of the device, and the vertices an indexed draw processes.
#include <functional>

#include "OffscreenDevice.h"
#include "runtime/Status.h"
#include "support/Raised.h"

namespace {

// Runs `call` and expects D3DERR_INVALIDCALL whose text names `method`.
void expectInvalidCall(const std::function<void()>& call, const std::string& method) {
    const auto [number, text] = testsupport::raised(call);
    EXPECT_EQ(number, D3DERR_INVALIDCALL) << method << ": " << text;
    EXPECT_NE(text.find(method), std::string::npos) << text;
}

// A device needs a window or a size; without depth when asked, a depth clear is refused.
TEST(DeviceCreation, NeedsASizeAndGoesWithoutDepthWhenAskedTo) {
    D3DPRESENT_PARAMETERS params{};
    params.Windowed = 1;
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    auto create = [&, d3d = DirectX8().Direct3DCreate()] {
        return d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, params);
    };
    expectInvalidCall(create, "CreateDevice");
    params.BackBufferWidth = params.BackBufferHeight = 8;
    auto device = create();
    EXPECT_EQ(device->GetRenderState(D3DRS_ZENABLE), D3DZB_FALSE);
    expectInvalidCall([&] { device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0); }, "Clear");
}

using SceneMisuse = OffscreenDeviceTest;

TEST_F(SceneMisuse, IndicesAndSizesOutsideTheTablesAreRefused) {
    Direct3DDevice8& d = *device;
    TLVertex line[] = {tl(0, 0), tl(3, 3)};
    const std::pair<const char*, std::function<void()>> calls[] = {
        {"SetRenderState", [&] { d.SetRenderState(500, 1); }},
        {"SetTextureStageState", [&] { d.SetTextureStageState(8, D3DTSS_COLOROP, 1); }},
        {"SetTexture", [&] { d.SetTexture(8, nullptr); }},
        {"SetStreamSource", [&] { d.SetStreamSource(16, nullptr, 0); }},
        {"DrawPrimitiveUP", [&] { d.DrawPrimitiveUP(9, 1, line, sizeof(TLVertex)); }},
        {"DrawPrimitiveUP", [&] { d.DrawPrimitiveUP(D3DPT_LINELIST, 1, line, 8); }},
        {"DrawPrimitiveUP", [&] { d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0x7FFFFFFF, line, sizeof(TLVertex)); }},
        {"DrawIndexedPrimitive", [&] { d.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1); }},  // no indices
        {"DrawPrimitiveUP", [&] {  // a state the OpenGL layer refuses names the caller's method
             d.SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
             d.SetRenderState(D3DRS_SRCBLEND, 99);
             d.DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(TLVertex));
         }},
        {"DrawPrimitiveUP", [&] {  // so does a combiner operation it has no program for
             d.SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
             d.SetTextureStageState(0, D3DTSS_COLOROP, 99);
             d.DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(TLVertex));
         }},
        {"DrawPrimitiveUP", [&] {  // and an alpha comparison beyond the eight
             d.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
             d.SetRenderState(D3DRS_ALPHATESTENABLE, 1);
             d.SetRenderState(D3DRS_ALPHAFUNC, 9);
             d.DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(TLVertex));
         }},
        {"DrawPrimitiveUP", [&] {  // untransformed vertices need a shader
             d.SetRenderState(D3DRS_ALPHATESTENABLE, 0);
             d.SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
             d.DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(TLVertex));
         }}};
    device->BeginScene();
    for (const auto& [method, call] : calls) expectInvalidCall(call, method);
    expectInvalidCall([&] { d.BeginScene(); }, "BeginScene");  // nested
    device->EndScene();
    // Outside a scene, and failed calls change nothing: a new scene begins normally.
    expectInvalidCall([&] { d.EndScene(); }, "EndScene");
    expectInvalidCall([&] { d.DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(TLVertex)); }, "DrawPrimitiveUP");
    device->BeginScene();
    device->EndScene();
}

TEST_F(SceneMisuse, IndexedDrawsStayInsideTheirBuffersAndProcessSharedVerticesOnce) {
    std::vector<TLVertex> vertices = {tl(99, 99), tl(1, 1, kRed), tl(5, 1, kRed), tl(5, 5, kRed), tl(1, 5, kRed)};
    auto vb = device->CreateVertexBuffer(5 * sizeof(TLVertex), 0, kTLVertexFvf, D3DPOOL_MANAGED);
    vb->write(0, std::as_bytes(std::span(vertices)));
    const uint16_t indices[] = {0, 1, 2, 0, 2, 3, 7, 7, 7};
    auto ib = device->CreateIndexBuffer(sizeof indices, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED);
    ib->write(0, std::as_bytes(std::span(indices)));
    device->SetStreamSource(0, vb, sizeof(TLVertex));
    device->SetIndices(ib, 1);  // index 0 is vertex 1
    auto square = [&](uint32_t startIndex, uint32_t count) { device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, startIndex, count); };
    device->BeginScene();
    square(0, 2);
    EXPECT_EQ(device->lastDrawStats().verticesProcessed, 4u);
    EXPECT_EQ(device->lastDrawStats().primitivesSubmitted, 2u);
    expectInvalidCall([&] { square(6, 1); }, "DrawIndexedPrimitive");  // index 7 + base 1 is past 5 vertices
    expectInvalidCall([&] { square(6, 2); }, "DrawIndexedPrimitive");  // 6 + 6 indices is past the 9
    // Drawing from memory unsets stream 0.
    TLVertex offTarget[] = {tl(20, 20), tl(30, 20)};
    device->DrawPrimitiveUP(D3DPT_LINELIST, 1, offTarget, sizeof(TLVertex));
    expectInvalidCall([&] { square(0, 2); }, "DrawIndexedPrimitive");
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(covered().size(), 16u) << "the square, kept by Present";
}

}  // namespace
