#include "xchanger/link.h"

namespace velwin::xchanger {

namespace {

// ModeReg values: 0x00 idle, 0x80 single access at the latched address.
constexpr std::uint8_t kModeIdle = 0x00;
constexpr std::uint8_t kModeSingle = 0x80;

// Control register values. Bits 0, 1 and 3 drive inverted pins, so 0x01
// asserts STROBE (the write line), 0x02 AUTOFEED (the data strobe) and 0x08
// SELECT IN (the address strobe); bit 2 is the INIT pin as it stands, and the
// X-Changer uses it to choose which nibble it presents on the status lines.
constexpr std::uint8_t kControlRead = 0x00;
constexpr std::uint8_t kControlWrite = 0x01;
constexpr std::uint8_t kControlSppReadLow = 0x02;
constexpr std::uint8_t kControlSppWriteData = 0x03;
constexpr std::uint8_t kControlReleased = 0x04;
constexpr std::uint8_t kControlSppReadHigh = 0x06;
constexpr std::uint8_t kControlSppWriteAddress = 0x09;

// Bit 0 of the status register latches an EPP time-out; writing 1 clears it.
constexpr std::uint8_t kClearEppTimeout = 0x01;

// The echo test: values no floating bus or printer returns from both address
// registers in this order.
constexpr std::uint8_t kEchoHigh = 0x12;
constexpr std::uint8_t kEchoLow = 0x34;

}  // namespace

XChangerLink::XChangerLink(PortIo& io, TickCounter& ticks, EventPump& pump)
    : io_(io), ticks_(ticks), pump_(pump) {}

bool XChangerLink::UsableBase(std::uint16_t base) {
  return UsablePortBase(base);
}

void XChangerLink::SetControl(std::uint8_t value) {
  io_.PortWrite(ports_.ControlPort, value);
}

void XChangerLink::SppWriteAddress(std::uint8_t reg) {
  io_.PortWrite(ports_.ControlPort, kControlWrite);
  io_.PortWrite(ports_.DataPort, reg);
  io_.PortWrite(ports_.ControlPort, kControlSppWriteAddress);
  io_.PortWrite(ports_.ControlPort, kControlWrite);
}

void XChangerLink::SppWriteData(std::uint8_t value) {
  io_.PortWrite(ports_.DataPort, value);
  io_.PortWrite(ports_.ControlPort, kControlSppWriteData);
  io_.PortWrite(ports_.ControlPort, kControlWrite);
}

void XChangerLink::SppWriteRegister(std::uint8_t reg, std::uint8_t value) {
  SppWriteAddress(reg);
  SppWriteData(value);
}

std::uint8_t XChangerLink::SppReadData() {
  io_.PortWrite(ports_.ControlPort, kControlRead);
  io_.PortWrite(ports_.ControlPort, kControlSppReadLow);
  const std::uint8_t low = io_.PortRead(ports_.StatusPort);
  io_.PortWrite(ports_.ControlPort, kControlSppReadHigh);
  const std::uint8_t high = io_.PortRead(ports_.StatusPort);
  io_.PortWrite(ports_.ControlPort, kControlRead);
  // The nibble arrives on status bits 3-6 (ERROR, SELECT, PAPER END, ACK);
  // BUSY (bit 7) and bits 0-2 carry nothing of it.
  const unsigned highNibble = (static_cast<unsigned>(high) << 1) & 0xF0u;
  const unsigned lowNibble = (static_cast<unsigned>(low) >> 3) & 0x0Fu;
  return static_cast<std::uint8_t>(highNibble | lowNibble);
}

void XChangerLink::EppWriteAddress(std::uint8_t reg) {
  io_.PortWrite(ports_.ControlPort, kControlWrite);
  io_.PortWrite(ports_.EppAddressPort, reg);
}

void XChangerLink::EppWriteRegister(std::uint8_t reg, std::uint8_t value) {
  EppWriteAddress(reg);
  io_.PortWrite(ports_.ControlPort, kControlWrite);
  io_.PortWrite(ports_.EppDataPort, value);
}

void XChangerLink::SelectRegister(std::uint8_t reg) {
  io_.PortWrite(ports_.ControlPort, kControlWrite);
  if (linkMode_ == kLinkModeSpp) {
    SppWriteAddress(reg);
  } else {
    EppWriteAddress(reg);
  }
}

void XChangerLink::WriteRegister(std::uint8_t reg, std::uint8_t value) {
  if (linkMode_ == kLinkModeSpp) {
    SppWriteRegister(reg, value);
  } else {
    EppWriteRegister(reg, value);
  }
}

void XChangerLink::WriteRegisterHeld(std::uint8_t reg, std::uint8_t value) {
  if (linkMode_ == kLinkModeSpp) {
    // The address strobe, then the data strobe; each ends back at 0x01.
    io_.PortWrite(ports_.DataPort, reg);
    io_.PortWrite(ports_.ControlPort, kControlSppWriteAddress);
    io_.PortWrite(ports_.ControlPort, kControlWrite);
    SppWriteData(value);
  } else {
    io_.PortWrite(ports_.EppAddressPort, reg);
    io_.PortWrite(ports_.EppDataPort, value);
  }
}

void XChangerLink::WriteData(std::uint8_t value) {
  if (linkMode_ == kLinkModeSpp) {
    SppWriteData(value);
  } else {
    io_.PortWrite(ports_.EppDataPort, value);
  }
}

std::uint8_t XChangerLink::ReadData() {
  if (linkMode_ == kLinkModeSpp) {
    return SppReadData();
  }
  return io_.PortRead(ports_.EppDataPort);
}

void XChangerLink::ReadDataRun(std::span<std::uint8_t> data) {
  if (linkMode_ != kLinkModeSpp)
    return io_.PortReadRun(ports_.EppDataPort, data);
  for (std::uint8_t& byte : data)
    byte = SppReadData();
}

void XChangerLink::WriteDataRun(std::span<const std::uint8_t> data) {
  if (linkMode_ != kLinkModeSpp)
    return io_.PortWriteRun(ports_.EppDataPort, data);
  for (const std::uint8_t byte : data)
    SppWriteData(byte);
}

void XChangerLink::ResetLink() {
  io_.PortWrite(ports_.StatusPort, kClearEppTimeout);
  WriteRegister(ModeReg, kModeIdle);
  WriteRegister(ModeReg, kModeSingle);
}

void XChangerLink::ReleaseLink() {
  WriteRegister(ModeReg, kModeIdle);
  SetControl(kControlReleased);
}

void XChangerLink::DelayMs(std::int32_t ms) {
  const std::uint32_t start = ticks_.GetTickCount();
  for (;;) {
    pump_.ProcessEvents();
    // Unsigned subtraction wraps modulo 2^32, so the elapsed time stays right
    // when the 32-bit millisecond counter rolls over during the wait.
    const auto elapsed = static_cast<std::int32_t>(ticks_.GetTickCount() - start);
    if (elapsed >= ms) {
      return;
    }
  }
}

bool XChangerLink::ProbePort(std::uint16_t base, std::uint8_t mode) {
  if (!UsableBase(base)) {
    return false;
  }
  ports_.DataPort = base;
  ports_.StatusPort = static_cast<std::uint16_t>(base + 1);
  ports_.ControlPort = static_cast<std::uint16_t>(base + 2);
  ports_.EppAddressPort = static_cast<std::uint16_t>(base + 3);
  ports_.EppDataPort = static_cast<std::uint16_t>(base + 4);
  linkMode_ = mode;

  ResetLink();
  WriteRegister(AddrHighReg, kEchoHigh);
  WriteRegister(AddrLowReg, kEchoLow);

  SelectRegister(AddrHighReg);
  SetControl(kControlRead);
  if (ReadData() != kEchoHigh) {
    return false;
  }
  SelectRegister(AddrLowReg);
  SetControl(kControlRead);
  if (ReadData() != kEchoLow) {
    return false;
  }
  ReleaseLink();
  return true;
}

bool XChangerLink::FindXChanger() {
  // The machine may have gained or lost a port since the last search.
  const std::uint16_t base1 = io_.ReadLptBase(1);
  const std::uint16_t base2 = io_.ReadLptBase(2);
  return ProbePort(base1, kLinkModeEpp) || ProbePort(base1, kLinkModeSpp) ||
         ProbePort(base2, kLinkModeEpp) || ProbePort(base2, kLinkModeSpp);
}

}  // namespace velwin::xchanger
