#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velwin::card {

// The largest card, 64 Mbit: no image can be larger.
inline constexpr std::uint64_t kLargestCardBytes = 8u * 1024 * 1024;

// Reads an image to write onto a card, whole. Returns why it cannot be
// written when it is empty or larger than the largest card (reading stops
// one byte past that, so a huge file is never read whole); a file that
// cannot be read throws fileio::FileError.
std::optional<std::string> ReadImageFile(const std::string& path, std::vector<std::uint8_t>& image);

}  // namespace velwin::card
