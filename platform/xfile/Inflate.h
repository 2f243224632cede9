#pragma once
// The inflaters behind MSZIP blocks. zlib is the reference: its verdict on a block (the bytes,
// or that the data is corrupt) is the reader's. Where the build has ISA-L, a block goes through
// ISA-L first, about twice as fast, when ISA-L's verdict on that block cannot differ from
// zlib's; any block ISA-L does not inflate cleanly goes to zlib again for the verdict.

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

#include "xfile/Buffer.h"
#include "xfile/XFile.h"

struct inflate_state;

namespace xfile::detail {

enum class Inflater { Zlib, Isal };

// inflateMszip (Lexer.h) with the inflater named: Isal is what the reader uses, and zlib alone
// where the build has no ISA-L. The tests and a fuzz target hold the two to the same results.
ByteBuffer inflateMszip(std::span<const std::byte> file, std::string_view fileName, const Header& header,
                        Inflater inflater);

// Whether ISA-L and zlib must agree on a raw DEFLATE stream: its first block is its last and
// every Huffman code that block defines is one zlib accepts. zlib refuses a stream defining an
// incomplete code, where ISA-L inflates it as long as no unused code turns up; on anything
// else the two give the same bytes or both fail. Streams of several blocks are left to zlib,
// since where the later blocks start is only known once the earlier ones are inflated.
bool isSingleBlockWithAcceptedCodes(std::span<const std::byte> deflate);

// ISA-L, for one MSZIP block at a time; without ISA-L in the build it inflates nothing.
class IsalInflater {
public:
    IsalInflater();
    ~IsalInflater();
    IsalInflater(const IsalInflater&) = delete;
    IsalInflater& operator=(const IsalInflater&) = delete;

    // True when ISA-L is in the build.
    static bool built();

    // Inflates `deflate` into `out`, the `history` bytes just before `out` being the output the
    // data may refer back into. True when it filled `out` exactly and reached the end of the
    // final block, which zlib would do too; false leaves `out` undefined and the verdict to zlib.
    bool inflate(std::span<const std::byte> deflate, std::span<std::byte> out, size_t history);

private:
    struct Free {
        void operator()(inflate_state* state) const;
    };
    std::unique_ptr<inflate_state, Free> state_;
};

}  // namespace xfile::detail
