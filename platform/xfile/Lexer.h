#pragma once
// Both encodings lex into the same token list, so one parser reads both. Separators (',' and
// ';') are dropped: exporters disagree on them (";," after a last vertex, doubled or missing
// ones) and the member counts of each data object already say where values end.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "xfile/XFile.h"

namespace xfile::detail {

enum class Tok : uint8_t {
    Name,
    String,
    Integer,
    Float,
    Guid,
    OBrace,
    CBrace,
    Template,
    Other,  // template syntax: brackets, dots, type keywords
};

struct Token {
    Tok kind;
    uint32_t pos;          // line (text) or byte offset (binary)
    int64_t integer = 0;   // Integer
    double number = 0;     // Integer and Float
    std::string_view text; // Name, String, Guid, and the lexeme of numbers in text
};

// `data` is the stream after the 16-byte header; text positions are lines from 1.
std::vector<Token> lexText(std::span<const std::byte> data, std::string_view fileName,
                           const Header& header);
// Binary positions are byte offsets counted from the start of the file (header included).
std::vector<Token> lexBinary(std::span<const std::byte> data, std::string_view fileName,
                             const Header& header);

// Inflates the MSZIP blocks that follow the header of a compressed file; the result is the
// stream after the header, decompressed.
std::vector<std::byte> inflateMszip(std::span<const std::byte> file, std::string_view fileName,
                                    const Header& header);

Document parseTokens(std::span<const Token> tokens, std::string_view fileName, const Header& header);

}  // namespace xfile::detail
