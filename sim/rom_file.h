#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velwin::xchanger::sim {

// How much of a flash card's contents the rom= file keeps: the whole of
// what it held when it was loaded, and beyond that up to the last byte that
// is not 0xFF (the rest of the card loads as erased cells anyway).
std::size_t RomImageLength(std::span<const std::uint8_t> card, std::size_t loadedBytes);

// Replaces the file at path with bytes as fileio::AtomicFile does: a full
// disk or a failure half-way leaves the previous image intact.
bool WriteRomImage(const std::string& path, std::span<const std::uint8_t> bytes,
                   std::string& error);

}  // namespace velwin::xchanger::sim
