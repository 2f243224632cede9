// ISA-L's inflate for MSZIP blocks, where the build has it (CELSHADE_ISAL); see Inflate.h.

#include "xfile/Inflate.h"

#if CELSHADE_ISAL

#include <isa-l/igzip_lib.h>

namespace xfile::detail {

// The state holds ISA-L's tables and a 64 KB history buffer: one per file, not per block.
IsalInflater::IsalInflater() : state_(new inflate_state) {}

IsalInflater::~IsalInflater() = default;

void IsalInflater::Free::operator()(inflate_state* state) const { delete state; }

bool IsalInflater::built() { return true; }

bool IsalInflater::inflate(std::span<const std::byte> deflate, std::span<std::byte> out, size_t history) {
    if (!isSingleBlockWithAcceptedCodes(deflate)) return false;
    inflate_state& s = *state_;
    isal_inflate_init(&s);
    s.crc_flag = ISAL_DEFLATE;
    s.hist_bits = 0;  // the full 32 KB window
    auto* bytes = reinterpret_cast<uint8_t*>(out.data());
    if (history > 0 && isal_inflate_set_dict(&s, bytes - history, static_cast<uint32_t>(history)) != COMP_OK)
        return false;
    s.next_in = const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(deflate.data()));
    s.avail_in = static_cast<uint32_t>(deflate.size());
    s.next_out = bytes;
    s.avail_out = static_cast<uint32_t>(out.size());
    return isal_inflate(&s) == ISAL_DECOMP_OK && s.block_state == ISAL_BLOCK_FINISH && s.avail_out == 0;
}

}  // namespace xfile::detail

#else

namespace xfile::detail {

IsalInflater::IsalInflater() = default;

IsalInflater::~IsalInflater() = default;

void IsalInflater::Free::operator()(inflate_state*) const {}

bool IsalInflater::built() { return false; }

bool IsalInflater::inflate(std::span<const std::byte>, std::span<std::byte>, size_t) { return false; }

}  // namespace xfile::detail

#endif
