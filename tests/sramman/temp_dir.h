#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velwin::sramman::testing {

// A fresh directory under the system's temp directory, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Bytes that differ from bank to bank and from offset to offset.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed);

// Makes a file immutable, so that even root cannot open it for writing;
// false where the file system or the process may not do that.
bool SetImmutable(const std::string& path, bool on);

}  // namespace velwin::sramman::testing
