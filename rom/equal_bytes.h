#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velwin::rom {

// How many bytes the compare below looks at in one step.
enum class CompareWidth { kWord = 8, kSse2 = 16, kAvx2 = 32 };

// The widths this processor runs, narrowest first; the last is the one the
// plain AllBytesEqual uses.
const std::vector<CompareWidth>& CompareWidths();

// Whether all count bytes hold value (count may be any length, 0 included).
// Each byte is compared once; a block that differs is left within a KiB.
bool AllBytesEqual(const std::uint8_t* bytes, std::size_t count, std::uint8_t value);
bool AllBytesEqual(const std::uint8_t* bytes, std::size_t count, std::uint8_t value,
                   CompareWidth width);

}  // namespace velwin::rom
