#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "port/direct_port.h"
#include "port/direct_port_system.h"
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
// in read() or write() calls of up to 1,024 bytes, the transfer mode is set
// only when it changes, and a control write that would leave the lines as
// they are is not sent. The port is claimed once, exclusively where the
// kernel allows it, for as long as the backend is open, and released only
// while the program is idle.
//
// With a direct path (the process may use port instructions) the claim
// stays the same, so the kernel and other programs keep off the port, but
// the accesses go straight to the port's registers.
//
// Every job ends with the port as the kernel's printer driver expects it:
// the control lines at rest, the data lines forward and compatibility mode
// set, told to the kernel before the port is released.
class PpdevPortBackend : public PortBackend {
 public:
  // What the kernel does to the control register around an EPP transfer.
  enum class EppControl {
    kUnknown,    // a port without EPP hardware: the kernel makes the cycle on the control lines
    kKept,       // EPP hardware: the kernel leaves the register alone
    kRewritten,  // an ECP port: the kernel writes 0x04 before each transfer
  };

  struct Device {
    int fd = -1;
    std::uint16_t base = 0;  // as shown to the link
    int mode = -1;           // the ppdev transfer mode last set, -1 when unknown
    bool reversed = true;    // data lines possibly left as inputs
    bool claimed = true;
    int control = -1;        // the control register as last written, -1 when unknown
    bool freshClaim = true;  // no control write since the claim yet
    EppControl eppControl = EppControl::kUnknown;
    int heldControl = -1;      // a control write held back (kRewritten), -1 for none
    std::uint16_t ioBase = 0;  // the direct path's base for this device, 0 without one
    // The last claim was refused (another program held the port to the end
    // of the wait): not asked again, a wait each, until the port is idle.
    bool claimRefused = false;
  };

  PpdevPortBackend(std::unique_ptr<PpdevSystem> system, std::vector<Device> devices,
                   std::unique_ptr<DirectPortBackend> direct = nullptr, PortPath path = {});
  ~PpdevPortBackend() override;

  void PortWrite(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t PortRead(std::uint16_t port) override;
  void PortReadRun(std::uint16_t port, std::span<std::uint8_t> data) override;
  void PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data) override;
  std::uint16_t ReadLptBase(int n) override;
  bool TakesRuns() const override { return direct_ == nullptr; }
  void Idle() override;
  void EndJob() override;
  PortPath Path() const override { return path_; }

 private:
  // The claimed device that answers at port; null when none does or it
  // cannot be claimed (another program holds it).
  Device* Find(std::uint16_t port, unsigned& offset);
  void SetMode(Device& device, int mode);
  void Forward(Device& device);
  void WriteControl(Device& device, std::uint8_t value);
  void SendHeldControl(Device& device);
  // Before an EPP transfer and after it: what the kernel does to the
  // control register in between.
  void BeforeEpp(Device& device, int mode);
  void AfterEpp(Device& device, bool read);
  // The device and transfer mode for a run at an EPP register; null for
  // any other port.
  Device* EppRun(std::uint16_t port);
  // Control lines at rest, data lines forward, compatibility mode, all
  // told to the kernel: how a job leaves the port.
  void Settle(Device& device);
  void Release(Device& device);

  std::unique_ptr<PpdevSystem> system_;
  std::vector<Device> devices_;
  std::unique_ptr<DirectPortBackend> direct_;
  PortPath path_;
};

// Opens "ppdev" (/dev/parport0 as the first port and /dev/parport1, when
// it exists and opens, as the second) or "ppdev:DEVICE" (that device only).
// options is the text after "ppdev", colon included.
std::unique_ptr<PortBackend> OpenPpdevPort(std::string_view options,
                                           std::unique_ptr<PpdevSystem> system, std::string& error);

// The same, taking the direct path under the claim where direct says this
// process may use port instructions and the driver's list under sysctlRoot
// gives each device's base, confirmed by the kernel's own view of the data
// register. Otherwise plain ppdev, with the reason in the path's note.
std::unique_ptr<PortBackend> OpenPpdevPort(std::string_view options,
                                           std::unique_ptr<PpdevSystem> system,
                                           std::unique_ptr<DirectPortSystem> direct,
                                           const std::filesystem::path& sysctlRoot,
                                           std::string& error);

}  // namespace velwin::xchanger
