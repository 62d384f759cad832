#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "port/port_backend.h"
#include "port/ppdev_system.h"

namespace velwin::xchanger {

// The ports shown to the link for the first and second device: the classic
// LPT1 and LPT2 bases, so logs read as on any PC.
inline constexpr std::uint16_t kPpdevBase1 = 0x378;
inline constexpr std::uint16_t kPpdevBase2 = 0x278;

// Parallel ports through /dev/parportN. The link's accesses to base + 0..4
// become the matching ppdev calls: data, status and control registers by
// ioctl, EPP address and data cycles by read and write in EPP mode (with the
// address flag for address cycles). A run of EPP cycles goes to the kernel
// in one read() or write(), the transfer mode is set only when it changes,
// and a control write that would leave the lines as they are is not sent.
// The port is claimed once, exclusively where the kernel allows it, for as
// long as the backend is open, and released only while the program is idle.
class PpdevPortBackend : public PortBackend {
 public:
  struct Device {
    int fd = -1;
    std::uint16_t base = 0;
    int mode = -1;         // the ppdev transfer mode last set, -1 before any
    bool reversed = true;  // data lines possibly left as inputs
    bool claimed = true;
    int control = -1;  // the control register as last written, -1 when unknown
  };

  PpdevPortBackend(std::unique_ptr<PpdevSystem> system, std::vector<Device> devices);
  ~PpdevPortBackend() override;

  void PortWrite(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t PortRead(std::uint16_t port) override;
  void PortReadRun(std::uint16_t port, std::span<std::uint8_t> data) override;
  void PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data) override;
  std::uint16_t ReadLptBase(int n) override;
  bool TakesRuns() const override { return true; }
  void Idle() override;

 private:
  // The claimed device that answers at port; null when none does or it
  // cannot be claimed (another program holds it).
  Device* Find(std::uint16_t port, unsigned& offset);
  void SetMode(Device& device, int mode);
  void Forward(Device& device);
  // The device and transfer mode for a run at an EPP register; null for
  // any other port.
  Device* EppRun(std::uint16_t port);

  std::unique_ptr<PpdevSystem> system_;
  std::vector<Device> devices_;
};

// Opens "ppdev" (/dev/parport0 as the first port and /dev/parport1, when
// it exists and opens, as the second) or "ppdev:DEVICE" (that device only).
// options is the text after "ppdev", colon included.
std::unique_ptr<PortBackend> OpenPpdevPort(std::string_view options,
                                           std::unique_ptr<PpdevSystem> system, std::string& error);

}  // namespace velwin::xchanger
