#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "xchanger/port_backend.h"

namespace velwin::xchanger {

// The x86 port instructions and the permission call in front of them, so
// that tests can stand in for the processor.
class DirectPortSystem {
 public:
  virtual ~DirectPortSystem() = default;
  // Grants (on) or drops access to ports from .. from + count - 1; returns 0
  // or the errno of the failure.
  virtual int Ioperm(std::uint16_t from, unsigned count, bool on) = 0;
  virtual void Outb(std::uint16_t port, std::uint8_t value) = 0;
  virtual std::uint8_t Inb(std::uint16_t port) = 0;
  // Whether the process holds CAP_SYS_RAWIO, and the kernel lockdown state
  // as /sys/kernel/security/lockdown shows it (empty when unknown).
  virtual bool HasRawIo() = 0;
  virtual std::string Lockdown() = 0;
};

// The real instructions where this build can issue them, else null.
std::unique_ptr<DirectPortSystem> MakeDirectPortSystem();

// Says why access to the port at base was refused and what to do, telling a
// missing privilege from a kernel that refuses it to everyone.
std::string PortPermissionMessage(std::uint16_t base, int error, bool hasRawIo,
                                  std::string_view lockdown);

// Direct access to the registers of the first and second parallel port.
// Accesses outside the ports it was granted are dropped (reads give 0xFF):
// an unpermitted port instruction would kill the program.
class DirectPortBackend : public PortBackend {
 public:
  DirectPortBackend(std::unique_ptr<DirectPortSystem> system,
                    const std::array<std::uint16_t, 2>& bases);
  ~DirectPortBackend() override;

  void PortWrite(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t PortRead(std::uint16_t port) override;
  std::uint16_t ReadLptBase(int n) override;

 private:
  bool Granted(std::uint16_t port) const;

  std::unique_ptr<DirectPortSystem> system_;
  std::array<std::uint16_t, 2> bases_;
};

// Opens "direct" with the bases the parport driver lists under sysctlRoot,
// or "direct:BASE1[,BASE2]" (hex with 0x, or decimal) with bases of the
// user's choosing. options is the text after "direct", colon included.
// A named base below 0x100 or not a multiple of 4 is refused unless the
// driver lists it: no parallel port can sit there.
std::unique_ptr<PortBackend> OpenDirectPort(std::string_view options,
                                            std::unique_ptr<DirectPortSystem> system,
                                            const std::filesystem::path& sysctlRoot,
                                            std::string& error);

}  // namespace velwin::xchanger
