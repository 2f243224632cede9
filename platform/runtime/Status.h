#pragma once
// Status codes of the graphics platform (HRESULT values) and the error they raise.
// A failing status becomes an rt::Error whose number is the status itself (a negative int32)
// and whose text starts with the status name, then says which call failed and why.

#include <cstdint>
#include <string>
#include <string_view>

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x8876086Cu);
inline constexpr HRESULT D3DERR_NOTAVAILABLE = static_cast<HRESULT>(0x8876086Au);
inline constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = static_cast<HRESULT>(0x8876017Cu);
inline constexpr HRESULT D3DERR_NOTFOUND = static_cast<HRESULT>(0x88760866u);
inline constexpr HRESULT D3DERR_DEVICELOST = static_cast<HRESULT>(0x88760868u);
inline constexpr HRESULT D3DERR_DRIVERINTERNALERROR = static_cast<HRESULT>(0x88760827u);
inline constexpr HRESULT D3DXERR_INVALIDDATA = static_cast<HRESULT>(0x88760B59u);
inline constexpr HRESULT D3DXERR_INVALIDMESH = static_cast<HRESULT>(0x88760B54u);
inline constexpr HRESULT D3DXERR_CANNOTATTRSORT = static_cast<HRESULT>(0x88760B55u);
inline constexpr HRESULT D3DXERR_LOADEDMESHASNODATA = static_cast<HRESULT>(0x88760B58u);
inline constexpr HRESULT D3DXERR_CANNOTMODIFYINDEXBUFFER = static_cast<HRESULT>(0x88760B50u);

inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

namespace rt {

// "D3DERR_INVALIDCALL" for 0x8876086C, ...; "HRESULT 0x........" for codes it does not know.
std::string statusName(HRESULT hr);

// Raises an rt::Error for a failing status: number = hr, text = "<name>: <call>: <reason>".
[[noreturn]] void raiseStatus(HRESULT hr, std::string_view call, std::string_view reason = {});

// The failure most platform methods report: D3DERR_INVALIDCALL naming the method and why.
[[noreturn]] inline void raiseInvalidCall(std::string_view call, std::string_view reason) {
    raiseStatus(D3DERR_INVALIDCALL, call, reason);
}

// Tests a status the way every caller of a platform method does: a failure raises.
inline void check(HRESULT hr, std::string_view call) {
    if (FAILED(hr)) raiseStatus(hr, call);
}

}  // namespace rt
