#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

}  // namespace velwin::xchanger
