#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xchanger/port_backend.h"

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
  virtual long Read(int fd, std::span<std::uint8_t> data) = 0;
  virtual long Write(int fd, std::span<const std::uint8_t> data) = 0;
};

// The kernel's calls where this build has them, else null.
std::unique_ptr<PpdevSystem> MakePpdevSystem();

// The ports shown to the link for the first and second device: the classic
// LPT1 and LPT2 bases, so logs read as on any PC.
inline constexpr std::uint16_t kPpdevBase1 = 0x378;
inline constexpr std::uint16_t kPpdevBase2 = 0x278;

// Parallel ports through /dev/parportN. The link's accesses to base + 0..4
// become the matching ppdev calls: data, status and control registers by
// ioctl, EPP address and data cycles by read and write in EPP mode (with the
// address flag for address cycles). The port is claimed while it is in use
// and released while the program is idle.
class PpdevPortBackend : public PortBackend {
 public:
  struct Device {
    int fd = -1;
    std::uint16_t base = 0;
    int mode = -1;         // the ppdev transfer mode last set, -1 before any
    bool reversed = true;  // data lines possibly left as inputs
    bool claimed = true;
  };

  PpdevPortBackend(std::unique_ptr<PpdevSystem> system, std::vector<Device> devices);
  ~PpdevPortBackend() override;

  void PortWrite(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t PortRead(std::uint16_t port) override;
  std::uint16_t ReadLptBase(int n) override;
  void Idle() override;

 private:
  // The claimed device that answers at port; null when none does or it
  // cannot be claimed (another program holds it).
  Device* Find(std::uint16_t port, unsigned& offset);
  void SetMode(Device& device, int mode);
  void Forward(Device& device);

  std::unique_ptr<PpdevSystem> system_;
  std::vector<Device> devices_;
};

// Opens "ppdev" (/dev/parport0 as the first port and /dev/parport1, when
// it exists and opens, as the second) or "ppdev:DEVICE" (that device only).
// options is the text after "ppdev", colon included.
std::unique_ptr<PortBackend> OpenPpdevPort(std::string_view options,
                                           std::unique_ptr<PpdevSystem> system, std::string& error);

}  // namespace velwin::xchanger
