#include "chips/macronix_sector_flash.h"

#include "chips/flash_page_load.h"
#include "chips/flash_poll.h"
#include "xchanger/cart_bus.h"

namespace velwin::xchanger {

namespace {

constexpr std::uint16_t kUnlock1 = 0x5555;
constexpr std::uint16_t kUnlock2 = 0x2AAA;
constexpr std::uint8_t kPageProgram = 0xA0;
constexpr std::uint8_t kEraseSetup = 0x80;
constexpr std::uint8_t kSectorErase = 0x30;
constexpr std::uint8_t kAutoselect = 0x90;
constexpr std::uint8_t kClearStatus = 0x50;
constexpr std::uint8_t kReset = 0xF0;
// Page program starts 30-100 us after the last byte loaded. The status is
// read no sooner than 150 us after it: the chip's timer drifts with supply
// and temperature, and a status read before programming has begun shows
// the last operation's "ready" over a page not yet written.
constexpr std::uint64_t kProgramStartUs = 150;
// Word addresses 5555 and 2AAA on A0-A14: byte addresses repeat every
// 64 KiB.
constexpr std::uint32_t kCommandRepeatBytes = 0x10000;

// Status bits, as reads return them after a program or erase.
constexpr std::uint8_t kReady = 0x80;
constexpr std::uint8_t kEraseError = 0x20;
constexpr std::uint8_t kProgramError = 0x10;

// In autoselect mode, word 2 of a sector (byte 4 with A-1 lowest) reads the
// manufacturer code when the sector is protected, 00 when it is open.
constexpr std::uint32_t kProtectionByte = 4;
constexpr std::uint8_t kProtectedCode = 0xC2;

}  // namespace

void MacronixSectorFlash::Command(std::uint8_t command) {
  // Every sequence begins AA 55 at word addresses 5555 and 2AAA.
  cart_.FlashWriteWord(kUnlock1, 0xAA);
  cart_.FlashWriteWord(kUnlock2, 0x55);
  cart_.FlashWriteWord(kUnlock1, command);
}

FlashOutcome MacronixSectorFlash::WaitStatus(std::uint32_t maxUs, std::uint8_t errorBit,
                                             FlashOutcome::Kind errorKind) {
  // After a program or erase every read answers the status until a reset:
  // bit 7 ready, bit 5 erase failed, bit 4 program failed.
  const auto status = PollCartByte(cart_, clock_, FlashTimeoutUs(maxUs),
                                   [](std::uint8_t, std::uint8_t s) { return (s & kReady) != 0; });
  if (!status) {
    return {FlashOutcome::Kind::kTimeout, 0};
  }
  if ((*status & errorBit) != 0) {
    return {errorKind, *status};
  }
  // The chip stays in status mode until reset.
  Command(kReset);
  return {FlashOutcome::Kind::kDone, *status};
}

FlashOutcome MacronixSectorFlash::EraseUnit(std::uint32_t address) {
  const std::uint32_t sector = address - address % chip_.eraseUnitBytes;
  // Sector erase: AA 55 80, AA 55, then 30 at an address in the sector.
  Command(kEraseSetup);
  cart_.FlashWriteWord(kUnlock1, 0xAA);
  cart_.FlashWriteWord(kUnlock2, 0x55);
  cart_.FlashWriteLinear(sector, kSectorErase);
  return WaitStatus(chip_.eraseMaxUs, kEraseError, FlashOutcome::Kind::kEraseFailed);
}

FlashOutcome MacronixSectorFlash::Program(std::uint32_t address,
                                          std::span<const std::uint8_t> bytes) {
  // Page program: AA 55 A0 at word addresses 5555, 2AAA, 5555, then up to
  // 128 bytes of one page at their byte addresses. The chip decodes word
  // address lines A0-A14 only for its commands, so the command addresses
  // recur every 64 KiB: they are sent in the 64 KiB that holds the page
  // (byte 0xAAAA there lies in a bank whose number is 2 modulo 4, 0x5554 in
  // one that is 1), and a page in a bank of the first kind needs no bank
  // switch between its command and its first byte. Over SPP that switch
  // alone would take most of the 30 us the chip waits for the first byte.
  // The datasheet facts at hand give the command addresses only: the
  // decoding of A0-A14 alone is the usual one of chips of this kind and
  // has been checked against the emulated chip only.
  //
  // Whether the chip's load timer starts at the command or at the first
  // byte, no datasheet says: timed from the command, the first byte must
  // come within the window like every later one, and a pause there cuts
  // the load. A page lies within one 256-byte block, so within the load
  // only AddrLowReg changes.
  const std::uint32_t block = address - address % kCommandRepeatBytes;
  FlashPageLoad load(cart_, clock_);
  {
    RaisedForPageLoad raised(priority_);
    load.WriteLinear(block + 2u * kUnlock1, 0xAA);
    load.WriteLinear(block + 2u * kUnlock2, 0x55);
    load.StartTimingAtNextWrite();
    load.WriteLinear(block + 2u * kUnlock1, kPageProgram);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      load.WriteLinear(address + static_cast<std::uint32_t>(i), bytes[i]);
      if (load.Cut(chip_.byteLoadWindowUs))
        break;  // programming has begun; later bytes are not part of the page
    }
    load.Finish();
  }
  const bool cut = load.Cut(chip_.byteLoadWindowUs);
  // Until programming starts the chip is still taking bytes, and its
  // status still shows the last operation's "ready": the status means this
  // page only once the latest start has passed since the last byte, on the
  // chip clock.
  load.WaitSinceLastWrite(kProgramStartUs);
  FlashOutcome outcome =
      WaitStatus(chip_.programMaxUs, kProgramError, FlashOutcome::Kind::kProgramFailed);
  outcome.cut = cut;
  return outcome;
}

bool MacronixSectorFlash::UnitLocked(std::uint32_t address) {
  const std::uint32_t sector = address - address % chip_.eraseUnitBytes;
  Command(kAutoselect);
  std::uint8_t code = 0;
  ReadFlashRange(cart_, sector + kProtectionByte, std::span<std::uint8_t>(&code, 1));
  Command(kReset);
  return code == kProtectedCode;
}

void MacronixSectorFlash::ResetToReadArray() {
  // The error bits stay until cleared; the reset leaves status mode.
  Command(kClearStatus);
  Command(kReset);
}

}  // namespace velwin::xchanger
