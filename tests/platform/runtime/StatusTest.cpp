#include <gtest/gtest.h>

#include "runtime/Error.h"
#include "runtime/Status.h"

namespace {

TEST(StatusErrors, NumberIsTheStatusAndTextNamesIt) {
    try {
        rt::check(D3DERR_INVALIDCALL, "BeginScene");
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(static_cast<uint32_t>(e.number()), 0x8876086Cu);
        EXPECT_EQ(e.text(), "D3DERR_INVALIDCALL: BeginScene");
    }
    EXPECT_NO_THROW(rt::check(S_OK, "Clear"));
    EXPECT_EQ(rt::statusName(D3DXERR_INVALIDDATA), "D3DXERR_INVALIDDATA");
    EXPECT_EQ(rt::statusName(static_cast<HRESULT>(0x80001234u)), "HRESULT 0x80001234");
}

}  // namespace
