#pragma once

#include <cstdint>
#include <span>

#include "port/port_io.h"

namespace velwin::xchanger {

// The X-Changer's registers, as an address cycle selects them.
enum Register : std::uint8_t { AddrLowReg = 0, AddrHighReg = 1, ModeReg = 2, DataReg = 3 };

inline constexpr std::uint8_t kLinkModeEpp = 0;
inline constexpr std::uint8_t kLinkModeSpp = 1;

// The five port addresses of the configured parallel port.
struct LinkPorts {
  std::uint16_t DataPort = 0;
  std::uint16_t StatusPort = 0;
  std::uint16_t ControlPort = 0;
  std::uint16_t EppAddressPort = 0;
  std::uint16_t EppDataPort = 0;

  bool operator==(const LinkPorts&) const = default;
};

// The register protocol to the X-Changer over the parallel port, in EPP or
// SPP mode, and its detection. Holds the link configuration; the program
// keeps one, tests make fresh ones.
class XChangerLink {
 public:
  XChangerLink(PortIo& io, TickCounter& ticks, EventPump& pump);

  const LinkPorts& Ports() const { return ports_; }
  std::uint8_t LinkMode() const { return linkMode_; }

  // Register-level operations.
  void SetControl(std::uint8_t value);
  void SppWriteAddress(std::uint8_t reg);
  void SppWriteData(std::uint8_t value);
  void SppWriteRegister(std::uint8_t reg, std::uint8_t value);
  std::uint8_t SppReadData();
  void EppWriteAddress(std::uint8_t reg);
  void EppWriteRegister(std::uint8_t reg, std::uint8_t value);
  void SelectRegister(std::uint8_t reg);
  void WriteRegister(std::uint8_t reg, std::uint8_t value);
  void WriteData(std::uint8_t value);
  std::uint8_t ReadData();
  // ReadData or WriteData for each byte in turn; in EPP mode the port gets
  // them as one run of data cycles.
  void ReadDataRun(std::span<std::uint8_t> data);
  void WriteDataRun(std::span<const std::uint8_t> data);
  // Whether the port takes a run of data cycles for less than its bytes.
  bool PortTakesRuns() const { return io_.TakesRuns(); }
  void ResetLink();
  void ReleaseLink();

  // A register write inside a run of writes during which ControlPort
  // already holds 0x01, the write direction (SetControl (0x01) once before
  // the run): the same address and data cycles as WriteRegister, without
  // the control writes that would only repeat the value standing there.
  // Writing a control register with the value it holds changes no line, so
  // the X-Changer sees the same cycles: 2 port accesses over EPP, 6 over
  // SPP, instead of 4 and 7.
  void WriteRegisterHeld(std::uint8_t reg, std::uint8_t value);

  // Waits at least ms milliseconds, pumping events at least once.
  void DelayMs(std::int32_t ms);

  // Configures the link for base and mode and runs the echo test there. A
  // base that would put any of the five registers on port addresses 0 to 4
  // (0 is what the machine reports for a missing port) is refused: nothing
  // is sent and the link keeps its previous configuration.
  bool ProbePort(std::uint16_t base, std::uint8_t mode);
  // Probes (LPT1, EPP), (LPT1, SPP), (LPT2, EPP), (LPT2, SPP) and stops at
  // the first answer. A missing port is skipped, so after a failed search
  // the link stands on the last port that exists, in SPP mode.
  bool FindXChanger();

  // Whether base + 0 to base + 4 all lie clear of port addresses 0 to 4.
  static bool UsableBase(std::uint16_t base);

 private:
  PortIo& io_;
  TickCounter& ticks_;
  EventPump& pump_;
  LinkPorts ports_;
  std::uint8_t linkMode_ = 0;
};

}  // namespace velwin::xchanger
