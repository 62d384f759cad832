#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velwin::xchanger::sim {

// Loads an SRAM image for the simulated cart, first removing what a killed
// write-back left beside it. A missing file gives a 128 KiB
// chip of 0xFF bytes (the file is created when the SRAM is first written
// back); an existing file must be a power of two from 2 KiB to 128 KiB.
bool LoadSramImage(const std::string& path, std::vector<std::uint8_t>& sram, std::string& error);

// Replaces the file at path with bytes, as fileio::AtomicFile does: a full
// disk or a failure half-way leaves the previous image intact and no
// temporary file. A character device (such as /dev/full) is written
// directly.
bool WriteSramImage(const std::string& path, std::span<const std::uint8_t> bytes,
                    std::string& error);

}  // namespace velwin::xchanger::sim
