#include "sim/w29c040_chip.h"

namespace velwin::xchanger::sim {
namespace {

// In product identification mode these two bytes report whether the boot
// block at the start and at the end of the chip is locked: 0xFF locked,
// 0xFE open. A card's boot blocks are open unless the faults lock one (the
// lockout is set once, on a programmer or by the lockout sequence, and can
// never be undone; the sequence itself is not emulated).
constexpr std::uint32_t kLowBootBlockFlag = 0x00002;
constexpr std::uint32_t kHighBootBlockFlag = 0x7FFF2;
constexpr std::uint8_t kBootBlockOpen = 0xFE;
constexpr std::uint8_t kBootBlockLocked = 0xFF;
constexpr std::uint32_t kBootBlockBytes = 16 * 1024;

// The command addresses, compared on A0-A14.
constexpr std::uint32_t kCommandAddress = 0x5555;
constexpr std::uint32_t kUnlockAddress = 0x2AAA;

}  // namespace

W29c040Chip::W29c040Chip(std::span<const std::uint8_t> image, const ChipFaults& faults)
    : EmulatedChip(kSizeBytes, image, faults) {
  // The fault names the quarter of the chip that holds the boot block.
  lowBootLocked_ = faults.lockedSector == 0u;
  highBootLocked_ = faults.lockedSector == kSizeBytes / kFaultSectorBytes - 1;
}

bool W29c040Chip::InLockedBootBlock(std::uint32_t linear) const {
  return (lowBootLocked_ && linear < kBootBlockBytes) ||
         (highBootLocked_ && linear >= kSizeBytes - kBootBlockBytes);
}

void W29c040Chip::Reset() {
  EmulatedChip::Reset();
  step_ = 0;
  pageLoaded_.reset();
  job_ = Job::kNone;
}

void W29c040Chip::AdvanceTo(std::uint64_t now) {
  // The load ends only by time: no byte within TBLC of the last one.
  if (mode_ == ChipMode::kPageLoad && now - lastLoadAt_ >= kByteLoadWindow) {
    if (pageLoaded_.any()) {
      StartPageWrite();
    } else {
      mode_ = ChipMode::kReadArray;  // the prefix alone writes nothing
    }
  }
  if (mode_ == ChipMode::kBusy && now >= busyUntil_) {
    if (job_ == Job::kPageWrite) {
      CompletePageWrite();
    } else if (job_ == Job::kChipErase && !lowBootLocked_ && !highBootLocked_) {
      // Chip erase no longer works once a boot block is locked.
      // Unit by unit, so that a failing one keeps only its own cells.
      for (std::uint32_t start = 0; start < kSizeBytes; start += kFaultSectorBytes)
        EraseRange(start, kFaultSectorBytes);
    }
    job_ = Job::kNone;
    mode_ = ChipMode::kReadArray;
  }
}

void W29c040Chip::StartPageWrite() {
  ++counters_.pageWrites;
  job_ = Job::kPageWrite;
  mode_ = ChipMode::kBusy;
  busyUntil_ = lastLoadAt_ + kByteLoadWindow + Duration(kPageWriteTypical, kPageWriteMaximum);
}

// The page is erased and the loaded bytes programmed: every byte that was
// not loaded reads 0xFF afterwards. In a sector whose erase fails the old
// cells stay, and the loaded bytes can only clear bits of them.
void W29c040Chip::CompletePageWrite() {
  if (InLockedBootBlock(pageStart_)) {
    // A locked boot block ignores page writes: the cells stay as they were.
    pageLoaded_.reset();
    return;
  }
  EraseRange(pageStart_, kPageBytes);
  for (std::uint32_t offset = 0; offset < kPageBytes; ++offset) {
    if (pageLoaded_[offset])
      ProgramByte(pageStart_ + offset, pageData_[offset]);
  }
  pageLoaded_.reset();
}

void W29c040Chip::Write(std::uint32_t linear, std::uint8_t value, std::uint64_t now) {
  AdvanceTo(now);
  switch (mode_) {
    case ChipMode::kBusy:
      return;  // the chip takes no writes while it writes
    case ChipMode::kPageLoad:
      LoadByte(linear, value, now);
      return;
    default:
      UnlockCommand(linear & 0x7FFF, value, now);
      return;
  }
}

// Every byte written within the window is data, even one that looks like a
// command. The page is the one of the first byte loaded: the datasheet asks
// for A8-A18 to stay fixed, and a byte that strays is taken at its offset
// within that page (the stricter reading; a verify finds the damage).
void W29c040Chip::LoadByte(std::uint32_t linear, std::uint8_t value, std::uint64_t now) {
  if (pageLoaded_.none())
    pageStart_ = linear & ~(kPageBytes - 1);
  const std::uint32_t offset = linear & (kPageBytes - 1);
  pageData_[offset] = value;
  pageLoaded_.set(offset);
  lastLoaded_ = value;
  lastLoadAt_ = now;
  ++counters_.bytesProgrammed;
}

// Software data protection is taken as on, as the card ships: every command
// begins AA@5555, 55@2AAA, on the 15 address bits the chip decodes, so
// 0x5555 and 0x2AAA match in every 32 KB window. A0 then opens a page load;
// 80 opens the six-write commands: 60 product identification, 10 chip
// erase. The protection disable (20) and the boot block lockout (40) are
// not emulated: a card writer never needs them, and the lockout cannot be
// undone on a real card.
void W29c040Chip::UnlockCommand(std::uint32_t address, std::uint8_t value, std::uint64_t now) {
  if (value == 0xF0) {
    // Any F0 ends identification; the three-write exit ends in one as well.
    mode_ = ChipMode::kReadArray;
    step_ = 0;
    return;
  }
  const bool commandAddress = address == kCommandAddress;
  const bool first = commandAddress && value == 0xAA;
  const bool second = address == kUnlockAddress && value == 0x55;
  switch (step_) {
    case 0:
    case 3:
      step_ = first ? step_ + 1 : 0;
      return;
    case 1:
    case 4:
      step_ = second ? step_ + 1 : (first ? 1 : 0);
      return;
    case 2:
      if (commandAddress && value == 0xA0) {
        mode_ = ChipMode::kPageLoad;
        pageLoaded_.reset();
        lastLoadAt_ = now;  // the first byte must follow within the window too
        step_ = 0;
        return;
      }
      step_ = commandAddress && value == 0x80 ? 3 : (first ? 1 : 0);
      return;
    default:
      if (commandAddress && value == 0x60) {
        mode_ = ChipMode::kProductId;
      } else if (commandAddress && value == 0x10) {
        ++counters_.chipErases;
        // The erase is busy like a page write; DQ7 polls against 0xFF.
        lastLoaded_ = 0xFF;
        job_ = Job::kChipErase;
        mode_ = ChipMode::kBusy;
        busyUntil_ = now + kChipEraseTime;
      }
      step_ = first ? 1 : 0;
      return;
  }
}

std::uint8_t W29c040Chip::ReadOther(std::uint32_t linear, std::uint64_t now) {
  AdvanceTo(now);
  switch (mode_) {
    case ChipMode::kProductId:
      if (linear == kLowBootBlockFlag)
        return lowBootLocked_ ? kBootBlockLocked : kBootBlockOpen;
      if (linear == kHighBootBlockFlag)
        return highBootLocked_ ? kBootBlockLocked : kBootBlockOpen;
      return (linear & 1) != 0 ? kDevice : kManufacturer;  // only A0 selects the code
    case ChipMode::kPageLoad:
    case ChipMode::kBusy: {
      // A read in the load window is answered as during the write: the
      // datasheet defines no array read there.
      toggle_ = !toggle_;
      const auto complement = static_cast<std::uint8_t>(~lastLoaded_ & 0x80);
      return static_cast<std::uint8_t>(complement | (toggle_ ? 0x40 : 0x00) | (lastLoaded_ & 0x3F));
    }
    default:
      return contents_[linear];
  }
}

}  // namespace velwin::xchanger::sim
