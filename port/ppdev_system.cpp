#include "port/ppdev_system.h"

#ifdef __linux__
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#endif

namespace velwin::xchanger {

#ifdef __linux__

namespace {

class LinuxPpdevSystem : public PpdevSystem {
 public:
  bool Exists(const std::string& path) override {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
  }
  int Open(const std::string& path) override {
    // Non-blocking: ppdev retries an EPP read that timed out for as long as
    // the descriptor blocks, so a probe of a port where nothing answers
    // would never return. This way it fails with EAGAIN and reads 0xFF.
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
  }
  void Close(int fd) override { ::close(fd); }
  int Ioctl(int fd, unsigned long request) override {
    return ::ioctl(fd, request) == 0 ? 0 : -errno;
  }
  int IoctlSetInt(int fd, unsigned long request, int value) override {
    return ::ioctl(fd, request, &value) == 0 ? 0 : -errno;
  }
  int IoctlSetByte(int fd, unsigned long request, std::uint8_t value) override {
    unsigned char byte = value;
    return ::ioctl(fd, request, &byte) == 0 ? 0 : -errno;
  }
  int IoctlGetByte(int fd, unsigned long request, std::uint8_t& value) override {
    unsigned char byte = 0;
    if (::ioctl(fd, request, &byte) != 0) {
      return -errno;
    }
    value = byte;
    return 0;
  }
  long Read(int fd, std::span<std::uint8_t> data) override {
    const ssize_t got = ::read(fd, data.data(), data.size());
    return got >= 0 ? static_cast<long>(got) : -errno;
  }
  long Write(int fd, std::span<const std::uint8_t> data) override {
    const ssize_t put = ::write(fd, data.data(), data.size());
    return put >= 0 ? static_cast<long>(put) : -errno;
  }
};

}  // namespace

std::unique_ptr<PpdevSystem> MakePpdevSystem() {
  return std::make_unique<LinuxPpdevSystem>();
}

#else

std::unique_ptr<PpdevSystem> MakePpdevSystem() {
  return nullptr;
}

#endif

}  // namespace velwin::xchanger
