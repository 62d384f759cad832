#pragma once

// A tiny tmpfs mounted on a directory for the lifetime of the object, so a
// test can run a file system out of room without touching the real disk.
// Mounted() is false where mounting is not allowed (not root, no mount
// namespace); tests then skip.

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace velwin::testing {

class SmallTmpfs {
 public:
  SmallTmpfs(const std::filesystem::path& dir, const std::string& size) : dir_(dir) {
    std::filesystem::create_directories(dir_);
    const std::string options = "size=" + size;
    mounted_ = ::mount("none", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallTmpfs() {
    if (mounted_)
      ::umount(dir_.c_str());
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool Mounted() const { return mounted_; }

  // Fills the file system with a filler file until nothing more fits, then
  // gives back freeBytes of it (rounded by the file system to its pages).
  void FillLeaving(std::size_t freeBytes) const {
    const auto filler = (dir_ / "filler").string();
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
      return;
    const std::vector<char> block(4096, 'f');
    off_t size = 0;
    for (;;) {
      const ssize_t n = ::write(fd, block.data(), block.size());
      if (n <= 0)
        break;
      size += n;
    }
    const auto kept =
        static_cast<off_t>(freeBytes) < size ? size - static_cast<off_t>(freeBytes) : 0;
    if (::ftruncate(fd, kept) != 0) {
      // The file system stays full; the test then sees less room than asked.
    }
    ::close(fd);
  }

 private:
  std::filesystem::path dir_;
  bool mounted_ = false;
};

}  // namespace velwin::testing
