#pragma once

#include "chips/flash_driver.h"

namespace velwin::xchanger {

// The Macronix MX29F1610 of the 16 Mbit card: sector erase, 128-byte page
// program, and a status register that reads answer until a reset. Its
// commands go to word addresses (the chip's A-1 is the cart's A0); its data
// to byte addresses.
class MacronixSectorFlash final : public FlashDriver {
 public:
  using FlashDriver::FlashDriver;

  FlashOutcome EraseUnit(std::uint32_t address) override;
  // bytes lie within one 128-byte page; programming only clears bits.
  FlashOutcome Program(std::uint32_t address, std::span<const std::uint8_t> bytes) override;
  bool UnitLocked(std::uint32_t address) override;
  void ResetToReadArray() override;

 private:
  void Command(std::uint8_t command);
  FlashOutcome WaitStatus(std::uint32_t maxUs, std::uint8_t errorBit, FlashOutcome::Kind errorKind);
};

}  // namespace velwin::xchanger
