#include "xchanger/sim/sram_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "fileio/byte_file.h"
#include "fileio/file_error.h"
#include "xchanger/sim/sim_cart.h"

namespace velwin::xchanger::sim {
namespace {

namespace fs = std::filesystem;
using fileio::ByteFile;
using fileio::FileError;

bool IsSramChipSize(std::int64_t size) {
  for (std::int64_t chip = kSramMinBytes; chip <= kSramMaxBytes; chip *= 2) {
    if (size == chip)
      return true;
  }
  return false;
}

void WriteAll(ByteFile& file, std::span<const std::uint8_t> bytes) {
  file.Write(bytes);
  if (::fsync(file.NativeHandle()) != 0 && errno != EINVAL)
    throw FileError(errno);
  file.Close();
}

}  // namespace

bool LoadSramImage(const std::string& path, std::vector<std::uint8_t>& sram, std::string& error) {
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
  std::error_code ec;
  fs::path target = path;
  if (fs::is_symlink(target, ec)) {
    // Replace the file the link points to, not the link.
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec)
      target = resolved;
  }
  try {
    if (fs::is_character_file(target, ec)) {
      auto device = ByteFile::Create(target.string());
      device.Write(bytes);
      device.Close();
      return true;
    }
    const std::string temp = target.string() + ".velwin-new";
    try {
      auto file = ByteFile::Create(temp);
      WriteAll(file, bytes);
      const auto old = fs::status(target, ec);
      if (!ec && fs::exists(old))
        fs::permissions(temp, old.permissions(), ec);
      if (std::rename(temp.c_str(), target.c_str()) != 0)
        throw FileError(errno);
    } catch (...) {
      fs::remove(temp, ec);
      throw;
    }
    return true;
  } catch (const FileError& e) {
    error = "SRAM image \"" + path + "\" not written: " + e.what();
    return false;
  }
}

}  // namespace velwin::xchanger::sim
