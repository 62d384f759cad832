#pragma once

#include <cstdint>
#include <span>

namespace velwin::xchanger {

// Byte-wide access to 16-bit I/O port addresses, and the parallel-port base
// addresses the machine lists. One interface for the real port backends and
// the simulated X-Changer.
class PortIo {
 public:
  virtual ~PortIo() = default;

  virtual void PortWrite(std::uint16_t port, std::uint8_t value) = 0;
  virtual std::uint8_t PortRead(std::uint16_t port) = 0;
  // The I/O base address of parallel port n (1 or 2), 0 when there is none.
  virtual std::uint16_t ReadLptBase(int n) = 0;

  // A run of reads or writes at one port: exactly the accesses that one
  // PortRead or PortWrite per byte, in order, would make. A backend that can
  // hand such a run to the hardware at once (ppdev in EPP mode: one read()
  // or write() for many data cycles) overrides these; the others keep the
  // byte-by-byte default.
  virtual void PortReadRun(std::uint16_t port, std::span<std::uint8_t> data);
  virtual void PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data);
  // Whether a run costs the port less than its bytes one by one, so that
  // the link has reason to make runs longer.
  virtual bool TakesRuns() const { return false; }
};

// Whether a parallel port's registers base + 0 to base + 4 (the EPP data
// register is the highest) all lie clear of port addresses 0 to 4.
bool UsablePortBase(std::uint16_t base);

// The system's millisecond counter: 32 bits, wrapping.
class TickCounter {
 public:
  virtual ~TickCounter() = default;
  virtual std::uint32_t GetTickCount() = 0;
};

// Lets the GUI handle the window messages that are waiting, then returns.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void ProcessEvents() = 0;
};

// The monotonic clock of the machine, in milliseconds modulo 2^32.
class SteadyTickCounter : public TickCounter {
 public:
  std::uint32_t GetTickCount() override;
};

// For programs without windows.
class NoEventPump : public EventPump {
 public:
  void ProcessEvents() override {}
};

}  // namespace velwin::xchanger
