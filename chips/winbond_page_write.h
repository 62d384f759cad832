#pragma once

#include "chips/flash_driver.h"

namespace velwin::xchanger {

// The Winbond W29C040 of the 4 Mbit card: JEDEC page write with software
// data protection. A page write erases and programs its 256-byte page by
// itself, so there is no erase step; the end shows on the toggle bit.
class WinbondPageWrite final : public FlashDriver {
 public:
  using FlashDriver::FlashDriver;

  FlashOutcome EraseUnit(std::uint32_t address) override;
  // bytes is one whole page from its first byte: bytes of a page that are
  // not loaded become 0xFF, so a page is always written whole.
  FlashOutcome Program(std::uint32_t address, std::span<const std::uint8_t> bytes) override;
  // Whether the page at address lies in a boot block locked for good.
  bool UnitLocked(std::uint32_t address) override;
  void ResetToReadArray() override;

 private:
  void Command(std::uint8_t command);
  void ReadBootLocks();

  bool bootLocksRead_ = false;
  bool lowBootLocked_ = false;
  bool highBootLocked_ = false;
};

}  // namespace velwin::xchanger
