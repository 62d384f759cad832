#pragma once

#include "chips/flash_driver.h"

namespace velwin::xchanger {

// The Intel 28F640J5 StrataFlash of the 64 Mbit card: block erase, 32-byte
// write buffer, status register, per-block lock bits. Commands go to any
// address in the block, so commands and data alike go to linear addresses.
class IntelBlockFlash final : public FlashDriver {
 public:
  using FlashDriver::FlashDriver;

  FlashOutcome EraseUnit(std::uint32_t address) override;
  // bytes lie within one 32-byte write buffer.
  FlashOutcome Program(std::uint32_t address, std::span<const std::uint8_t> bytes) override;
  bool UnitLocked(std::uint32_t address) override;
  FlashOutcome UnlockAll() override;
  FlashOutcome LockUnit(std::uint32_t address) override;
  void ReadArrayMode() override;
  void ResetToReadArray() override;

 private:
  FlashOutcome WaitStatus(std::uint32_t maxUs, std::uint8_t errorBit, FlashOutcome::Kind errorKind);
};

}  // namespace velwin::xchanger
