#pragma once

#include <cstdint>

#include "port/port_io.h"

namespace velwin::xchanger::sim::testing {

// Raw parallel-port cycles as the hardware expects them, written out access
// by access so that the tests do not depend on the link code they are meant
// to check.
class PortDriver {
 public:
  PortDriver(PortIo& io, std::uint16_t base) : io_(io), base_(base) {}

  void Control(std::uint8_t value) { io_.PortWrite(base_ + 2, value); }
  std::uint8_t Status() { return io_.PortRead(base_ + 1); }

  // EPP: the port's own hardware runs the cycle; STROBE asserted selects the
  // write direction, released the read direction.
  void EppAddress(std::uint8_t reg) {
    Control(0x01);
    io_.PortWrite(base_ + 3, reg);
  }
  void EppWrite(std::uint8_t value) {
    Control(0x01);
    io_.PortWrite(base_ + 4, value);
  }
  std::uint8_t EppRead() {
    Control(0x00);
    return io_.PortRead(base_ + 4);
  }
  void EppWriteRegister(std::uint8_t reg, std::uint8_t value) {
    EppAddress(reg);
    EppWrite(value);
  }
  std::uint8_t EppReadRegister(std::uint8_t reg) {
    EppAddress(reg);
    return EppRead();
  }

  // SPP: the same cycles made on the control lines.
  void SppAddress(std::uint8_t reg) {
    Control(0x01);
    io_.PortWrite(base_, reg);
    Control(0x09);
    Control(0x01);
  }
  void SppWrite(std::uint8_t value) {
    io_.PortWrite(base_, value);
    Control(0x03);
    Control(0x01);
  }
  std::uint8_t SppRead() {
    Control(0x00);
    Control(0x02);
    const std::uint8_t low = Status();
    Control(0x06);
    const std::uint8_t high = Status();
    Control(0x00);
    return static_cast<std::uint8_t>(((high << 1) & 0xF0) | ((low >> 3) & 0x0F));
  }
  void SppWriteRegister(std::uint8_t reg, std::uint8_t value) {
    SppAddress(reg);
    SppWrite(value);
  }
  std::uint8_t SppReadRegister(std::uint8_t reg) {
    SppAddress(reg);
    return SppRead();
  }

  // Cart access in single mode, EPP.
  void CartWrite(std::uint16_t address, std::uint8_t value, std::uint8_t mode = 0x80) {
    EppWriteRegister(2, mode);
    EppWriteRegister(0, static_cast<std::uint8_t>(address & 0xFF));
    EppWriteRegister(1, static_cast<std::uint8_t>(address >> 8));
    EppWriteRegister(3, value);
  }
  std::uint8_t CartRead(std::uint16_t address) {
    EppWriteRegister(2, 0x80);
    EppWriteRegister(0, static_cast<std::uint8_t>(address & 0xFF));
    EppWriteRegister(1, static_cast<std::uint8_t>(address >> 8));
    return EppReadRegister(3);
  }
  void FlashCommand(std::uint16_t address, std::uint8_t value) { CartWrite(address, value, 0x82); }

 private:
  PortIo& io_;
  std::uint16_t base_;
};

}  // namespace velwin::xchanger::sim::testing
