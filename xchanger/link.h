#pragma once

#include <cstdint>

#include "xchanger/port_io.h"

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
  void ResetLink();
  void ReleaseLink();

  // Waits at least ms milliseconds, pumping events at least once.
  void DelayMs(std::int32_t ms);

  bool ProbePort(std::uint16_t base, std::uint8_t mode);
  bool FindXChanger();

 private:
  PortIo& io_;
  TickCounter& ticks_;
  EventPump& pump_;
  LinkPorts ports_;
  std::uint8_t linkMode_ = 0;
};

}  // namespace velwin::xchanger
