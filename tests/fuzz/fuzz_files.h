#pragma once

// Scratch files for the fuzz targets whose code under test reads paths. One
// directory per process, in memory where /dev/shm exists, removed at exit.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace velwin::fuzz {

class ScratchDir {
 public:
  ScratchDir() {
    const std::filesystem::path shm = "/dev/shm";
    std::error_code ec;
    const auto base =
        std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
    path_ = base / ("velwin-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // Writes the bytes to the named file, replacing it; returns its path.
  std::string Write(const std::string& name, const std::uint8_t* data, std::size_t size) const {
    const auto path = (path_ / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
  }

 private:
  std::filesystem::path path_;
};

// The one scratch directory of this process.
inline const ScratchDir& Scratch() {
  static const ScratchDir dir;
  return dir;
}

}  // namespace velwin::fuzz
