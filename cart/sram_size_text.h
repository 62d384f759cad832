#pragma once

#include <cstdint>
#include <string>

namespace velwin::cart {

// The grid's size text for a header RAM size code: "0 k", "64 k" (codes 1
// and 2), "256 k", "1024 k", or "?" for codes the program does not know.
std::string SramSizeText(std::uint8_t ramSizeCode);

// The grid's size text for the SRAM byte of a menu directory entry: its high
// nibble 3 means 256 kbit, anything else 64 kbit.
std::string MenuSramSizeText(std::uint8_t sramByte);

}  // namespace velwin::cart
