#pragma once

#include <filesystem>

namespace velwin::testing {

// Sets the immutable attribute on a file or directory for its lifetime:
// unlike permission bits it stops writes by root as well. Applied() is false
// where the file system or the container does not allow it; tests then skip.
class ImmutableFile {
 public:
  explicit ImmutableFile(std::filesystem::path path);
  ~ImmutableFile();
  ImmutableFile(const ImmutableFile&) = delete;
  ImmutableFile& operator=(const ImmutableFile&) = delete;

  bool Applied() const { return applied_; }

 private:
  std::filesystem::path path_;
  bool applied_ = false;
};

}  // namespace velwin::testing
