#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace velwin::xchanger {

// The system calls the ppdev backend makes, so that tests can check which
// ioctl carries which value. Results are 0 (or a byte count) on success and
// a negative errno on failure.
class PpdevSystem {
 public:
  virtual ~PpdevSystem() = default;
  virtual bool Exists(const std::string& path) = 0;
  virtual int Open(const std::string& path) = 0;  // the descriptor
  virtual void Close(int fd) = 0;
  virtual int Ioctl(int fd, unsigned long request) = 0;
  virtual int IoctlSetInt(int fd, unsigned long request, int value) = 0;
  virtual int IoctlSetByte(int fd, unsigned long request, std::uint8_t value) = 0;
  virtual int IoctlGetByte(int fd, unsigned long request, std::uint8_t& value) = 0;
  // PPGETMODES: what the kernel found the port can do. A system that cannot
  // say leaves the backend to assume the least.
  virtual int IoctlGetInt(int fd, unsigned long request, int& value) {
    (void)fd;
    (void)request;
    (void)value;
    return -ENOTTY;
  }
  virtual long Read(int fd, std::span<std::uint8_t> data) = 0;
  virtual long Write(int fd, std::span<const std::uint8_t> data) = 0;
};

// The kernel's calls where this build has them, else null.
std::unique_ptr<PpdevSystem> MakePpdevSystem();

}  // namespace velwin::xchanger
