#include "chips/winbond_page_write.h"

#include "chips/flash_page_load.h"
#include "chips/flash_poll.h"
#include "xchanger/cart_bus.h"

namespace velwin::xchanger {

namespace {

constexpr std::uint16_t kUnlock1 = 0x5555;
constexpr std::uint16_t kUnlock2 = 0x2AAA;
constexpr std::uint8_t kPageLoad = 0xA0;
constexpr std::uint8_t kIdEntry = 0x60;
constexpr std::uint8_t kIdExit = 0xF0;
// The chip decodes A0-A14 for its commands. The cart address 0x5555 lies in
// the switchable window, where A14 is bank bit 0: with an odd ROM bank
// selected the chip sees 0x5555 there; 0x2AAA lies in bank 0 and needs no
// bank.
constexpr std::uint32_t kCommandBank = 1;
constexpr std::uint8_t kToggleBit = 0x40;  // DQ6
// Identification mode needs 10 us after its entry and after its exit.
constexpr std::uint64_t kIdModeUs = 10;
// In identification mode: 0xFF when the first or last 16 KiB boot block is
// locked for good, 0xFE when it is open.
constexpr std::uint32_t kLowBootFlag = 0x00002;
constexpr std::uint32_t kHighBootFlag = 0x7FFF2;
constexpr std::uint8_t kBootLocked = 0xFF;
constexpr std::uint32_t kBootBlockBytes = 16 * 1024;

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
  const std::uint32_t bank = address / kBankBytes;
  // An odd bank puts the chip's A14 high at 0x5555 as the commands need,
  // so the page's own bank serves; a page in bank 0 lies below the window
  // and needs none; any other page gets its bank between the command and
  // its first byte.
  const bool ownBankForCommand = (bank & 1u) != 0;
  const bool switchAfterCommand = bank != 0 && !ownBankForCommand;
  FlashPageLoad load(cart_, clock_);
  {
    RaisedForPageLoad raised(priority_);
    load.SelectBank(ownBankForCommand ? bank : kCommandBank);
    load.Write(kUnlock1, 0xAA);
    load.Write(kUnlock2, 0x55);
    // The window runs from the command on: the first byte must follow
    // within it like every other.
    load.StartTimingAtNextWrite();
    load.Write(kUnlock1, kPageLoad);
    if (switchAfterCommand)
      load.SelectBank(bank);
    // Each byte with its own address: the one AddrLowReg held after the
    // command is not relied on.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      load.Write(WindowAddress(address + static_cast<std::uint32_t>(i)), bytes[i]);
      if (load.Cut(chip_.byteLoadWindowUs))
        break;  // the chip is writing what it had; the rest would be lost
    }
    load.Finish();
  }
  const bool cut = load.Cut(chip_.byteLoadWindowUs);
  // Datasheet, page write: the load period ends when no byte follows within
  // the byte-load cycle time (TBLC, 200 us at most), counted from the last
  // byte on the chip clock; only then does the internal write start and
  // the toggle bit mean anything.
  load.WaitSinceLastWrite(chip_.byteLoadWindowUs);
  // Datasheet, toggle bit: while the write runs DQ6 changes on every read;
  // two reads that agree mean it is over. Read at the last byte loaded,
  // whose address and bank the load set again when it finished.
  const auto settled =
      PollCartByte(cart_, clock_, FlashTimeoutUs(chip_.programMaxUs),
                   [](std::uint8_t a, std::uint8_t b) { return ((a ^ b) & kToggleBit) == 0; });
  if (!settled) {
    return {FlashOutcome::Kind::kTimeout, 0, cut};
  }
  // There is no status register: whether the page took is for the read
  // back to tell.
  return {FlashOutcome::Kind::kDone, *settled, cut};
}

void WinbondPageWrite::ReadBootLocks() {
  Command(0x80);
  cart_.FlashWriteAt(kUnlock1, 0xAA);
  cart_.FlashWriteAt(kUnlock2, 0x55);
  cart_.FlashWriteAt(kUnlock1, kIdEntry);
  clock_.WaitMicroseconds(kIdModeUs);
  std::uint8_t low = 0;
  std::uint8_t high = 0;
  ReadFlashRange(cart_, kLowBootFlag, std::span<std::uint8_t>(&low, 1));
  ReadFlashRange(cart_, kHighBootFlag, std::span<std::uint8_t>(&high, 1));
  Command(kIdExit);
  clock_.WaitMicroseconds(kIdModeUs);
  lowBootLocked_ = low == kBootLocked;
  highBootLocked_ = high == kBootLocked;
  bootLocksRead_ = true;
}

bool WinbondPageWrite::UnitLocked(std::uint32_t address) {
  // A locked boot block ignores page writes without a sign, so the lock is
  // read in identification mode before anything is written (once a job).
  if (!bootLocksRead_)
    ReadBootLocks();
  return (lowBootLocked_ && address < kBootBlockBytes) ||
         (highBootLocked_ && address >= chip_.sizeBytes - kBootBlockBytes);
}

void WinbondPageWrite::ResetToReadArray() {
  // The identification exit: harmless in read-array mode, and it ends the
  // product identification mode should the chip be in it.
  Command(kIdExit);
}

}  // namespace velwin::xchanger
