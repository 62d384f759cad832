#include "sim/rom_file.h"

#include <algorithm>

#include "fileio/atomic_file.h"
#include "fileio/file_error.h"

namespace velwin::xchanger::sim {

std::size_t RomImageLength(std::span<const std::uint8_t> card, std::size_t loadedBytes) {
  const std::size_t kept = std::min(loadedBytes, card.size());
  const auto tail = card.subspan(kept);
  const auto lastUsed =
      std::find_if(tail.rbegin(), tail.rend(), [](std::uint8_t b) { return b != 0xFF; });
  return kept + static_cast<std::size_t>(tail.rend() - lastUsed);
}

bool WriteRomImage(const std::string& path, std::span<const std::uint8_t> bytes,
                   std::string& error) {
  try {
    auto image = fileio::AtomicFile::Begin(path);
    image.File().Write(bytes);
    image.Commit();
    return true;
  } catch (const fileio::FileError& e) {
    error = "ROM image \"" + path + "\" not written: " + e.what();
    return false;
  }
}

}  // namespace velwin::xchanger::sim
