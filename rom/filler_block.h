#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace velwin::rom {

// Whether the count bytes (at least one) all hold the filler value; when
// filler is still unknown, the block's last byte becomes it.
bool IsFillerBlock(const std::uint8_t* bytes, std::size_t count,
                   std::optional<std::uint8_t>& filler);

}  // namespace velwin::rom
