#include "chips/intel_block_flash.h"

#include "chips/flash_page_load.h"
#include "chips/flash_poll.h"

namespace velwin::xchanger {

namespace {

constexpr std::uint8_t kReadArray = 0xFF;
constexpr std::uint8_t kReadIdentifier = 0x90;
constexpr std::uint8_t kClearStatus = 0x50;
constexpr std::uint8_t kBlockErase = 0x20;
constexpr std::uint8_t kConfirm = 0xD0;
constexpr std::uint8_t kWriteToBuffer = 0xE8;
constexpr std::uint8_t kLockSetup = 0x60;
constexpr std::uint8_t kSetLock = 0x01;
constexpr std::uint8_t kClearLocks = 0xD0;

// Status register bits.
constexpr std::uint8_t kReady = 0x80;
constexpr std::uint8_t kEraseError = 0x20;    // also: clear lock bits failed
constexpr std::uint8_t kProgramError = 0x10;  // also: set lock bit failed
constexpr std::uint8_t kVpenLow = 0x08;
constexpr std::uint8_t kBlockLocked = 0x02;

// In identifier mode, word 2 of a block (byte 4; the byte-wide chip ignores
// A0 there) holds the block's lock bit in DQ0.
constexpr std::uint32_t kLockByte = 4;

}  // namespace

FlashOutcome IntelBlockFlash::WaitStatus(std::uint32_t maxUs, std::uint8_t errorBit,
                                         FlashOutcome::Kind errorKind) {
  // After a program, erase or lock command reads return the status register
  // until another command: bit 7 says the state machine is ready.
  const auto status = PollCartByte(cart_, clock_, FlashTimeoutUs(maxUs),
                                   [](std::uint8_t, std::uint8_t s) { return (s & kReady) != 0; });
  if (!status) {
    return {FlashOutcome::Kind::kTimeout, 0};
  }
  // Bits 5 and 4 together mean a command sequence the chip did not take;
  // bit 3 that VPEN was too low to write; bit 1 a locked block.
  if ((*status & (kEraseError | kProgramError)) == (kEraseError | kProgramError)) {
    return {FlashOutcome::Kind::kBadSequence, *status};
  }
  if ((*status & kVpenLow) != 0 && (*status & (kEraseError | kProgramError)) != 0) {
    return {FlashOutcome::Kind::kVoltageLow, *status};
  }
  if ((*status & kBlockLocked) != 0 && (*status & (kEraseError | kProgramError)) != 0) {
    return {FlashOutcome::Kind::kLocked, *status};
  }
  if ((*status & errorBit) != 0) {
    return {errorKind, *status};
  }
  // The chip stays in status mode: the next command works from there, and
  // a read of the array asks for read-array mode first.
  return {FlashOutcome::Kind::kDone, *status};
}

FlashOutcome IntelBlockFlash::EraseUnit(std::uint32_t address) {
  const std::uint32_t block = address - address % chip_.eraseUnitBytes;
  // Block erase: 20, then D0, both at an address in the block.
  cart_.FlashWriteLinear(block, kBlockErase);
  cart_.FlashWriteLinear(block, kConfirm);
  return WaitStatus(chip_.eraseMaxUs, kEraseError, FlashOutcome::Kind::kEraseFailed);
}

FlashOutcome IntelBlockFlash::Program(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  // The write buffer has no load window: it waits for its D0. Its load is
  // lean all the same, bank set once and ModeReg held, since a buffer's
  // bytes are most of a card write's port traffic.
  FlashPageLoad load(cart_, clock_);
  // Buffered write: E8 at the block, then read the extended status until
  // bit 7 says a buffer is free, writing E8 again each time it is not.
  const std::uint64_t start = clock_.NowMicroseconds();
  for (;;) {
    // Timed before the read, as every status wait: a pause after a busy
    // read must not end the wait without one more read.
    const bool late = clock_.NowMicroseconds() - start > FlashTimeoutUs(chip_.programMaxUs);
    load.WriteLinear(address, kWriteToBuffer);
    if ((load.Read() & kReady) != 0) {
      break;
    }
    if (late) {
      return {FlashOutcome::Kind::kTimeout, 0};
    }
  }
  {
    // No real-time priority: the buffer waits for its D0 however long the
    // bytes take. Then the count less one, the bytes at their addresses, and D0.
    load.WriteLinear(address, static_cast<std::uint8_t>(bytes.size() - 1));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      load.WriteLinear(address + static_cast<std::uint32_t>(i), bytes[i]);
    }
    load.WriteLinear(address, kConfirm);
    load.Finish();
  }
  return WaitStatus(chip_.programMaxUs, kProgramError, FlashOutcome::Kind::kProgramFailed);
}

bool IntelBlockFlash::UnitLocked(std::uint32_t address) {
  const std::uint32_t block = address - address % chip_.eraseUnitBytes;
  cart_.FlashWriteLinear(block, kReadIdentifier);
  std::uint8_t lock = 0;
  ReadFlashRange(cart_, block + kLockByte, std::span<std::uint8_t>(&lock, 1));
  cart_.FlashWriteLinear(block, kReadArray);
  return (lock & 0x01u) != 0;
}

FlashOutcome IntelBlockFlash::UnlockAll() {
  // Clear block lock bits: 60, then D0; it clears every block at once.
  cart_.FlashWriteLinear(0, kLockSetup);
  cart_.FlashWriteLinear(0, kClearLocks);
  const FlashOutcome cleared =
      WaitStatus(chip_.eraseMaxUs, kEraseError, FlashOutcome::Kind::kEraseFailed);
  ReadArrayMode();
  return cleared;
}

FlashOutcome IntelBlockFlash::LockUnit(std::uint32_t address) {
  const std::uint32_t block = address - address % chip_.eraseUnitBytes;
  cart_.FlashWriteLinear(block, kLockSetup);
  cart_.FlashWriteLinear(block, kSetLock);
  const FlashOutcome locked =
      WaitStatus(chip_.eraseMaxUs, kProgramError, FlashOutcome::Kind::kProgramFailed);
  ReadArrayMode();
  return locked;
}

void IntelBlockFlash::ReadArrayMode() {
  cart_.FlashWriteLinear(0, kReadArray);
}

void IntelBlockFlash::ResetToReadArray() {
  // After any error: clear status, then read array.
  cart_.FlashWriteLinear(0, kClearStatus);
  cart_.FlashWriteLinear(0, kReadArray);
}

}  // namespace velwin::xchanger
