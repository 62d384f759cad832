#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velwin::testing {

using Bytes = std::vector<std::uint8_t>;

// Writes bytes to a file, creating or truncating it; throws
// std::runtime_error when the file cannot be written, so that a test never
// goes on with an input it did not get.
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

// The whole file; empty when it cannot be read.
Bytes ReadBytes(const std::filesystem::path& path);

// A fresh directory of its own under the system's temporary directory,
// removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The path of a file in the directory.
  std::string File(std::string_view name) const;
  // Writes a file in the directory and returns its path.
  std::string Write(std::string_view name, const Bytes& bytes) const;
  std::string Write(std::string_view name, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace velwin::testing
