#include "runtime/Status.h"

#include <cstdio>

#include "runtime/Error.h"

namespace rt {

std::string statusName(HRESULT hr) {
    switch (hr) {
    case S_OK: return "S_OK";
    case E_FAIL: return "E_FAIL";
    case E_INVALIDARG: return "E_INVALIDARG";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_NOTIMPL: return "E_NOTIMPL";
    case D3DERR_INVALIDCALL: return "D3DERR_INVALIDCALL";
    case D3DERR_NOTAVAILABLE: return "D3DERR_NOTAVAILABLE";
    case D3DERR_OUTOFVIDEOMEMORY: return "D3DERR_OUTOFVIDEOMEMORY";
    case D3DERR_NOTFOUND: return "D3DERR_NOTFOUND";
    case D3DERR_DEVICELOST: return "D3DERR_DEVICELOST";
    case D3DERR_DRIVERINTERNALERROR: return "D3DERR_DRIVERINTERNALERROR";
    case D3DXERR_INVALIDDATA: return "D3DXERR_INVALIDDATA";
    case D3DXERR_INVALIDMESH: return "D3DXERR_INVALIDMESH";
    case D3DXERR_CANNOTATTRSORT: return "D3DXERR_CANNOTATTRSORT";
    case D3DXERR_LOADEDMESHASNODATA: return "D3DXERR_LOADEDMESHASNODATA";
    case D3DXERR_CANNOTMODIFYINDEXBUFFER: return "D3DXERR_CANNOTMODIFYINDEXBUFFER";
    default: break;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "HRESULT 0x%08X", static_cast<unsigned>(hr));
    return buf;
}

void raiseStatus(HRESULT hr, std::string_view call, std::string_view reason) {
    std::string text = statusName(hr);
    if (!call.empty()) {
        text += ": ";
        text += call;
    }
    if (!reason.empty()) {
        text += ": ";
        text += reason;
    }
    throw Error(hr, std::move(text));
}

}  // namespace rt
