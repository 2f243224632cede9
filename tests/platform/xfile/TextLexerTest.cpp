#include <gtest/gtest.h>

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "runtime/Error.h"
#include "xfile/Lexer.h"

namespace {

using xfile::detail::TextLexer;
using xfile::detail::Tok;

struct Expected {
    Tok kind;
    std::string text;
    double number;
    int64_t integer = 0;  // Integer tokens
};

// Numbers are words of their own: what follows a number up to the end of its word belongs to
// it, a comment may start right after it, and only a whole word that parses is a number.
TEST(TextLexer, NumbersAreReadAsWholeWords) {
    const std::string text =
        "12 -7 +3 123456789012345678 1234567890123456789 .5 -.25 1. 1e3 -1E-2 12//twelve\n"
        "7} 0.5;";
    const std::vector<Expected> expected = {
        {Tok::Integer, "12", 12, 12}, {Tok::Integer, "-7", -7, -7}, {Tok::Integer, "+3", 3, 3},
        {Tok::Integer, "123456789012345678", 123456789012345678.0, 123456789012345678},
        {Tok::Float, "1234567890123456789", 1234567890123456789.0},  // past 18 digits: a double
        {Tok::Float, ".5", 0.5}, {Tok::Float, "-.25", -0.25}, {Tok::Float, "1.", 1}, {Tok::Float, "1e3", 1000},
        {Tok::Float, "-1E-2", -0.01}, {Tok::Integer, "12", 12, 12}, {Tok::Integer, "7", 7, 7}, {Tok::CBrace, "}", 0},
        {Tok::Float, "0.5", 0.5}};
    const xfile::Header header;
    const auto bytes = std::as_bytes(std::span(text.data(), text.size()));
    TextLexer lexer(bytes, "numbers.x", header);
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.text);
        ASSERT_EQ(lexer.peek().kind, e.kind);
        EXPECT_EQ(lexer.peek().text, e.text);
        if (e.kind == Tok::Integer) {
            EXPECT_EQ(lexer.peek().integer, e.integer);
        }
        if (e.kind != Tok::CBrace) {
            EXPECT_DOUBLE_EQ(lexer.peek().number, e.number);
        }
        lexer.advance();
    }
    EXPECT_EQ(lexer.peek().kind, Tok::End);
    EXPECT_EQ(lexer.lastPos(), 2u);

    for (const char* bad : {"12abc", "1e", "-", "1e999", "3.5.1"}) {
        const std::string line = std::string("\n") + bad + " 1";
        try {
            TextLexer(std::as_bytes(std::span(line.data(), line.size())), "bad.x", header);
            ADD_FAILURE() << bad << " was read";
        } catch (const rt::Error& error) {
            EXPECT_NE(error.text().find(std::string("bad.x: line 2: \"") + bad + "\" is not a number"),
                      std::string::npos)
                << error.text();
        }
    }
}

}  // namespace
