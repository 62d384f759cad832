#include "xchanger/winbond_page_write.h"

#include "xchanger/cart_bus.h"
#include "xchanger/flash_poll.h"

namespace velwin::xchanger {

namespace {

constexpr std::uint16_t kUnlock1 = 0x5555;
constexpr std::uint16_t kUnlock2 = 0x2AAA;
constexpr std::uint8_t kPageLoad = 0xA0;
constexpr std::uint8_t kIdExit = 0xF0;
// The chip decodes A0-A14 for its commands. The cart address 0x5555 lies in
// the switchable window, where A14 is bank bit 0: with ROM bank 1 selected
// the chip sees 0x5555 there; 0x2AAA lies in bank 0 and needs no bank.
constexpr std::uint8_t kCommandBank = 1;
// Datasheet, page write: the load period ends when no byte follows within
// the byte-load cycle time (TBLC, 200 us at most); only then does the
// internal write start and the toggle bit mean anything.
constexpr std::uint64_t kByteLoadWindowUs = 200;
constexpr std::uint8_t kToggleBit = 0x40;  // DQ6

}  // namespace

void WinbondPageWrite::Command(std::uint8_t command) {
  // Software data protection: every command, and every page load, begins
  // with AA at 5555 and 55 at 2AAA. Sent as the identification probe sends
  // them, at cart addresses with the bank register set for A14.
  cart_.CartWrite(kRomBankLowAddress, kCommandBank);
  cart_.CartWrite(kRomBankHighAddress, 0);
  cart_.FlashWriteAt(kUnlock1, 0xAA);
  cart_.FlashWriteAt(kUnlock2, 0x55);
  cart_.FlashWriteAt(kUnlock1, command);
}

FlashOutcome WinbondPageWrite::EraseUnit(std::uint32_t address) {
  // A page write erases its own page; chip erase is never needed and never
  // sent, and neither are the boot-block lockout sequences, which cannot
  // be undone.
  (void)address;
  return {};
}

FlashOutcome WinbondPageWrite::Program(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  Command(kPageLoad);
  // The page's bytes at their addresses (A8-A18 fixed within the page), each
  // within TBLC of the last: one flash write cycle each, about 56 port
  // accesses apart over EPP.
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    cart_.FlashWriteLinear(address + static_cast<std::uint32_t>(i), bytes[i]);
  }
  clock_.WaitMicroseconds(kByteLoadWindowUs);
  // Datasheet, toggle bit: while the write runs DQ6 changes on every read;
  // two reads that agree mean it is over. Read at the last byte loaded,
  // whose address and bank the registers still hold.
  const auto settled =
      PollCartByte(cart_, clock_, FlashTimeoutUs(chip_.programMaxUs),
                   [](std::uint8_t a, std::uint8_t b) { return ((a ^ b) & kToggleBit) == 0; });
  if (!settled) {
    return {FlashOutcome::Kind::kTimeout, 0};
  }
  // There is no status register: whether the page took is for the read
  // back to tell.
  return {FlashOutcome::Kind::kDone, *settled};
}

bool WinbondPageWrite::UnitLocked(std::uint32_t address) {
  // A locked boot block ignores page writes without a sign; the read back
  // finds it.
  (void)address;
  return false;
}

void WinbondPageWrite::ResetToReadArray() {
  // The identification exit: harmless in read-array mode, and it ends the
  // product identification mode should the chip be in it.
  Command(kIdExit);
}

}  // namespace velwin::xchanger
