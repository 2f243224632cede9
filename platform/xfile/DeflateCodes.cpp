// Reads the header of a raw DEFLATE stream's first block, as far as needed to tell whether
// zlib would accept the Huffman codes it defines (see Inflate.h): a few hundred bits, read
// once per MSZIP block, so they are read through a table rather than bit by bit.

#include <array>
#include <cstdint>

#include "xfile/Inflate.h"

namespace xfile::detail {

namespace {

constexpr unsigned kMaxCodeLength = 15, kMaxLengthCodeLength = 7;
constexpr unsigned kLiteralCodes = 286, kDistanceCodes = 30, kEndOfBlock = 256;

// Bits from the lowest of each byte on. Past the end it reads zeros; `overrun` says so.
class BitReader {
public:
    explicit BitReader(std::span<const std::byte> bytes) : bytes_(bytes) {}

    unsigned peek(unsigned count) {
        while (buffered_ < count) {
            const unsigned byte = next_ < bytes_.size() ? std::to_integer<unsigned>(bytes_[next_]) : 0;
            ++next_;
            bits_ |= uint64_t{byte} << buffered_;
            buffered_ += 8;
        }
        return static_cast<unsigned>(bits_ & ((uint64_t{1} << count) - 1));
    }
    void skip(unsigned count) {
        bits_ >>= count;
        buffered_ -= count;
    }
    unsigned read(unsigned count) {
        const unsigned value = peek(count);
        skip(count);
        return value;
    }
    bool overrun() const { return next_ > bytes_.size() && (next_ - bytes_.size()) * 8 > buffered_; }

private:
    std::span<const std::byte> bytes_;
    size_t next_ = 0;
    uint64_t bits_ = 0;
    unsigned buffered_ = 0;
};

// How many codes of each length a code has, from its symbols' lengths (0: symbol unused).
class LengthCounts {
public:
    explicit LengthCounts(std::span<const uint8_t> lengths) {
        for (uint8_t length : lengths) ++count_[length];
        count_[0] = 0;
    }
    unsigned operator[](unsigned length) const { return count_[length]; }

    // Codes left unassigned, in units of the longest possible: 0 when the code is complete,
    // negative when over-subscribed.
    int unassigned() const {
        int left = 1;
        for (unsigned length = 1; length <= kMaxCodeLength; ++length) left = 2 * left - int(count_[length]);
        return left;
    }
    unsigned longest() const {
        unsigned length = kMaxCodeLength;
        while (length > 0 && count_[length] == 0) --length;
        return length;
    }

private:
    std::array<unsigned, kMaxCodeLength + 1> count_{};
};

// The code the other code lengths are written in, as a table from the next seven bits of the
// stream to a symbol and its length. Only for a complete code, which fills every entry.
class LengthCode {
public:
    explicit LengthCode(std::span<const uint8_t, 19> lengths) {
        const LengthCounts counts(lengths);
        std::array<unsigned, kMaxLengthCodeLength + 1> next{};
        for (unsigned length = 1, code = 0; length <= kMaxLengthCodeLength; ++length) {
            code = (code + counts[length - 1]) << 1;
            next[length] = code;
        }
        for (unsigned symbol = 0; symbol < lengths.size(); ++symbol) {
            const unsigned length = lengths[symbol];
            if (length == 0) continue;
            unsigned code = next[length]++, reversed = 0;  // codes go into the stream highest bit first
            for (unsigned i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
            for (unsigned rest = reversed; rest < table_.size(); rest += 1u << length)
                table_[rest] = Entry{static_cast<uint8_t>(symbol), static_cast<uint8_t>(length)};
        }
    }

    unsigned decode(BitReader& in) const {
        const Entry entry = table_[in.peek(kMaxLengthCodeLength)];
        in.skip(entry.length);
        return entry.symbol;
    }

private:
    struct Entry {
        uint8_t symbol = 0, length = 0;
    };
    std::array<Entry, 1u << kMaxLengthCodeLength> table_{};
};

// zlib takes a literal/length or distance code that is complete, or that has a single code of
// one bit, or (distances only) none at all.
bool zlibAccepts(std::span<const uint8_t> lengths, bool mayBeEmpty) {
    const LengthCounts counts(lengths);
    const int left = counts.unassigned();
    return left == 0 || (left > 0 && counts.longest() == 1) || (mayBeEmpty && counts.longest() == 0);
}

// Reads a dynamic block's code lengths; false where zlib would refuse them or the data ends.
bool readDynamicCodes(BitReader& in) {
    const unsigned literals = in.read(5) + 257, distances = in.read(5) + 1, lengthCodes = in.read(4) + 4;
    if (literals > kLiteralCodes || distances > kDistanceCodes) return false;

    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    std::array<uint8_t, 19> lengthLengths{};
    for (unsigned i = 0; i < lengthCodes; ++i) lengthLengths[kOrder[i]] = static_cast<uint8_t>(in.read(3));
    if (LengthCounts(lengthLengths).unassigned() != 0) return false;
    const LengthCode lengthCode(lengthLengths);

    // One run over both codes' lengths: a repeat may cross from the one into the other.
    std::array<uint8_t, kLiteralCodes + kDistanceCodes> lengths{};
    for (unsigned at = 0; at < literals + distances;) {
        const unsigned symbol = lengthCode.decode(in);
        if (symbol < 16) {
            lengths[at++] = static_cast<uint8_t>(symbol);
            continue;
        }
        static constexpr unsigned kExtraBits[3] = {2, 3, 7}, kBase[3] = {3, 3, 11};
        const unsigned repeat = kBase[symbol - 16] + in.read(kExtraBits[symbol - 16]);
        if ((symbol == 16 && at == 0) || repeat > literals + distances - at) return false;
        const uint8_t value = symbol == 16 ? lengths[at - 1] : 0;
        for (unsigned i = 0; i < repeat; ++i) lengths[at++] = value;
    }
    if (in.overrun() || lengths[kEndOfBlock] == 0) return false;
    const std::span<const uint8_t> all(lengths);
    return zlibAccepts(all.first(literals), false) && zlibAccepts(all.subspan(literals, distances), true);
}

}  // namespace

bool isSingleBlockWithAcceptedCodes(std::span<const std::byte> deflate) {
    BitReader in(deflate);
    const unsigned final = in.read(1), type = in.read(2);
    if (in.overrun() || final == 0) return false;
    if (type == 0 || type == 1) return true;  // stored, or the fixed codes
    return type == 2 && readDynamicCodes(in);
}

}  // namespace xfile::detail
