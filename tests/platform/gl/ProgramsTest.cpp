// The combiner's generated fragment code: which operations it accepts and what it reads.
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

TEST(FragmentShaderSource, ModifiersAndComparisonsAppearInTheCode) {
    std::string source = gl::fragmentShaderSource(key(4, 2 | 0x10, 3 | 0x20, 4));
    EXPECT_NE(source.find("(vec4(1.0) - tex).rgb * vec4(factor.a).rgb"), std::string::npos) << source;
    EXPECT_NE(source.find("level <= alphaRef"), std::string::npos) << source;
    EXPECT_EQ(gl::fragmentShaderSource(key(4, 2, 0)).find("discard"), std::string::npos);
}

TEST(FragmentShaderSource, UnsupportedOperationsAndArgumentsAreRefused) {
    for (uint32_t op : {12u, 24u, 99u}) {
        try {
            gl::fragmentShaderSource(key(op, 2, 0));
            ADD_FAILURE() << op;
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), D3DERR_INVALIDCALL);
        }
    }
    EXPECT_THROW(gl::fragmentShaderSource(key(2, 5, 0)), rt::Error);     // TEMP
    EXPECT_THROW(gl::fragmentShaderSource(key(2, 0x42, 0)), rt::Error);  // unknown modifier
    EXPECT_THROW(gl::fragmentShaderSource(key(2, 0, 0, 9)), rt::Error);  // no such comparison
}

TEST(ProgramKey, DistinguishesEveryField) {
    gl::ProgramKey a = key(4, 2, 0, 4), b = a;
    EXPECT_EQ(a.packed(), b.packed());
    b.flat = true;
    EXPECT_NE(a.packed(), b.packed());
    b = a;
    b.textured = true;
    EXPECT_NE(a.packed(), b.packed());
    b = a;
    b.combiner.alphaArg2 = 3;
    EXPECT_NE(a.packed(), b.packed());
}

}  // namespace
