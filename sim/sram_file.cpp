#include "sim/sram_file.h"

#include <cerrno>

#include "fileio/atomic_file.h"
#include "fileio/byte_file.h"
#include "fileio/file_error.h"
#include "sim/sim_cart.h"

namespace velwin::xchanger::sim {
namespace {

using fileio::AtomicFile;
using fileio::ByteFile;
using fileio::FileError;

bool IsSramChipSize(std::int64_t size) {
  for (std::int64_t chip = kSramMinBytes; chip <= kSramMaxBytes; chip *= 2) {
    if (size == chip)
      return true;
  }
  return false;
}

}  // namespace

bool LoadSramImage(const std::string& path, std::vector<std::uint8_t>& sram, std::string& error) {
  // A write-back of an earlier run that was killed half-way.
  AtomicFile::RemoveLeftover(path);
  try {
    auto file = ByteFile::Open(path, ByteFile::Access::kRead);
    const std::int64_t size = file.Size();
    if (!IsSramChipSize(size)) {
      error = "SRAM image \"" + path + "\" is " + std::to_string(size) +
              " bytes; it must be a power of two from " + std::to_string(kSramMinBytes) + " to " +
              std::to_string(kSramMaxBytes) + " bytes";
      return false;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (file.Read(bytes) != bytes.size()) {
      error = "SRAM image \"" + path + "\" shrank while it was read";
      return false;
    }
    sram = std::move(bytes);
    return true;
  } catch (const FileError& e) {
    if (e.code() == ENOENT) {
      // A new save: the chip starts erased and the file appears on write-back.
      sram.assign(kSramMaxBytes, 0xFF);
      return true;
    }
    error = "SRAM image \"" + path + "\": " + e.what();
    return false;
  }
}

bool WriteSramImage(const std::string& path, std::span<const std::uint8_t> bytes,
                    std::string& error) {
  try {
    auto image = AtomicFile::Begin(path);
    image.File().Write(bytes);
    image.Commit();
    return true;
  } catch (const FileError& e) {
    error = "SRAM image \"" + path + "\" not written: " + e.what();
    return false;
  }
}

}  // namespace velwin::xchanger::sim
