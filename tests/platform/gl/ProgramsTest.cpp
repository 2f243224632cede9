// The combiner's generated fragment programs: what they refuse, and the key that caches them.
#include "gl/Programs.h"

#include <gtest/gtest.h>

#include "runtime/Error.h"
#include "runtime/Status.h"

namespace {

gl::ProgramKey key(uint32_t colorOp, uint32_t arg1, uint32_t arg2, uint32_t alphaFunc = 0) {
    gl::ProgramKey k;
    k.combiner = {colorOp, arg1, arg2, 2, 0, 1};
    k.alphaFunc = alphaFunc;
    return k;
}

TEST(FragmentShaderSource, UnsupportedOperationsArgumentsAndComparisonsAreRefused) {
    const std::pair<const char*, gl::ProgramKey> cases[] = {
        {"operation 12", key(12, 2, 0)}, {"operation 24", key(24, 2, 0)},   {"operation 99", key(99, 2, 0)},
        {"TEMP", key(2, 5, 0)},          {"modifier 0x40", key(2, 0x42, 0)}, {"comparison 9", key(2, 0, 0, 9)}};
    for (const auto& [what, k] : cases) {
        try {
            gl::fragmentShaderSource(k, "DrawIndexedPrimitive");
            ADD_FAILURE() << what << " accepted";
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), D3DERR_INVALIDCALL) << what;
            EXPECT_NE(e.text().find("DrawIndexedPrimitive"), std::string::npos) << e.text();
        }
    }
}

TEST(ProgramKey, PackingKeepsEveryFieldApart) {
    const gl::ProgramKey a = key(4, 2, 0, 4);
    gl::ProgramKey flat = a, textured = a, alphaArg2 = a;
    flat.flat = true;
    textured.textured = true;
    alphaArg2.combiner.alphaArg2 = 3;
    for (const gl::ProgramKey& b : {flat, textured, alphaArg2}) EXPECT_NE(a.packed(), b.packed());
}

}  // namespace
