#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace velwin::rom {

enum class FillerBlock { kFiller, kNotFiller, kFileShrank };

// Whether the count bytes (at least one) all hold the filler value; when
// filler is still unknown, the block's last byte becomes it.
bool IsFillerBlock(const std::uint8_t* bytes, std::size_t count,
                   std::optional<std::uint8_t>& filler);

// The same for bytes that may lie in a read-only mapping of a file that
// another program cuts short at any moment: a touch of a mapped page past
// the file's new end raises SIGBUS, and that comes back as kFileShrank
// instead of stopping the program.
FillerBlock CheckFillerBlock(const std::uint8_t* bytes, std::size_t count,
                             std::optional<std::uint8_t>& filler);

}  // namespace velwin::rom
