#include "rom/filler_block.h"

#include "rom/equal_bytes.h"

namespace velwin::rom {

bool IsFillerBlock(const std::uint8_t* bytes, std::size_t count,
                   std::optional<std::uint8_t>& filler) {
  if (!filler)
    filler = bytes[count - 1];
  return AllBytesEqual(bytes, count, *filler);
}

}  // namespace velwin::rom
