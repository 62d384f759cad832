#include "sim/mx29f1610_chip.h"

namespace velwin::xchanger::sim {
namespace {

constexpr std::uint32_t kCommandWord = 0x5555;
constexpr std::uint32_t kUnlockWord = 0x2AAA;

// The word address the chip sees: its A0 is cart address line A1.
std::uint32_t WordAddress(std::uint32_t linear) {
  return (linear >> 1) & 0x7FFF;
}

}  // namespace

Mx29f1610Chip::Mx29f1610Chip(std::span<const std::uint8_t> image, const ChipFaults& faults)
    : EmulatedChip(kSizeBytes, image, faults), timerAtCommand_(faults.loadTimerAtCommand) {
  // Protection is set on a programmer, with high voltage on the chip's
  // pins; the card can only read it. The datasheet of the first revision
  // names two protectable sectors without saying which: any may be chosen.
  if (faults.lockedSector && *faults.lockedSector < protected_.size())
    protected_.set(*faults.lockedSector);
}

void Mx29f1610Chip::Reset() {
  EmulatedChip::Reset();
  step_ = 0;
  status_ = kReady;
  pageLoaded_.reset();
  job_ = Job::kNone;
  busy_ = false;
}

void Mx29f1610Chip::StartJob(std::uint64_t start, std::uint64_t duration) {
  busy_ = true;
  busyUntil_ = start + duration;
  status_ = static_cast<std::uint8_t>(status_ & ~kReady);
  mode_ = ChipMode::kStatus;
}

void Mx29f1610Chip::AdvanceTo(std::uint64_t now) {
  // Programming starts when no byte has come for the load window after the
  // last one. Before the first byte there is no last byte: the chip waits
  // for its data as after any other command. With the timer read as running
  // from the command, a load that gets no byte in time programs nothing and
  // leaves the chip in status mode, its status as it was: the late bytes
  // that follow are taken as commands.
  if (mode_ == ChipMode::kPageLoad && (pageLoaded_.any() || timerAtCommand_) &&
      now - lastLoadAt_ >= kByteLoadWindow) {
    if (pageLoaded_.none()) {
      mode_ = ChipMode::kStatus;
    } else {
      ++counters_.pageWrites;
      job_ = Job::kPageProgram;
      StartJob(lastLoadAt_ + kByteLoadWindow, Duration(kPageProgramTypical, kPageProgramMaximum));
    }
  }
  if (busy_ && now >= busyUntil_) {
    if (job_ == Job::kPageProgram) {
      CompletePageProgram();
    } else {
      CompleteErase();
    }
    job_ = Job::kNone;
    busy_ = false;
    status_ |= kReady;
  }
}

// Programming can only clear bits: the loaded bytes are ANDed into the
// page. A protected sector or a cell that will not program fails the whole
// page program with bit 4.
void Mx29f1610Chip::CompletePageProgram() {
  bool ok = !protected_[pageStart_ / kSectorBytes];
  for (std::uint32_t offset = 0; ok && offset < kPageBytes; ++offset) {
    if (pageLoaded_[offset])
      ok = ProgramByte(pageStart_ + offset, pageData_[offset]);
  }
  // The bytes after a bad cell stay unprogrammed: the algorithm gives up
  // at the first cell that does not verify.
  pageLoaded_.reset();
  if (!ok)
    status_ |= kProgramFailed;
}

void Mx29f1610Chip::CompleteErase() {
  const std::uint32_t first = job_ == Job::kChipErase ? 0 : eraseSector_;
  const std::uint32_t last = job_ == Job::kChipErase ? 16 : eraseSector_ + 1;
  bool ok = true;
  for (std::uint32_t sector = first; sector < last; ++sector) {
    // A protected sector is left alone; erasing it fails.
    if (protected_[sector]) {
      ok = false;
    } else if (!EraseRange(sector * kSectorBytes, kSectorBytes)) {
      ok = false;
    }
  }
  if (!ok)
    status_ |= kEraseFailed;
}

void Mx29f1610Chip::Write(std::uint32_t linear, std::uint8_t value, std::uint64_t now) {
  AdvanceTo(now);
  if (busy_)
    return;  // no command is taken while the chip programs or erases
  if (mode_ == ChipMode::kPageLoad) {
    LoadByte(linear, value, now);
    return;
  }
  Command(linear, value, now);
}

// Up to 128 bytes of one page, each within the load window of the one
// before. The page is that of the first byte; a byte outside it lands at
// its offset within that page (the stricter reading). A byte loaded twice
// keeps the later value.
void Mx29f1610Chip::LoadByte(std::uint32_t linear, std::uint8_t value, std::uint64_t now) {
  if (pageLoaded_.none())
    pageStart_ = linear & ~(kPageBytes - 1);
  const std::uint32_t offset = linear & (kPageBytes - 1);
  pageData_[offset] = value;
  pageLoaded_.set(offset);
  lastLoadAt_ = now;
  ++counters_.bytesProgrammed;
}

// Every command begins AA@5555, 55@2AAA (word addresses). Then at 5555:
// 90 autoselect, 70 read status, 50 clear status, F0 reset, A0 page
// program, 80 erase setup, which takes AA 55 again and 10 at 5555 (chip
// erase) or 30 at any address of the sector (sector erase). Suspend and
// resume (B0/D0) and the protect commands (60) are not emulated: a card
// writer needs neither, and protection cannot be changed from the card.
void Mx29f1610Chip::Command(std::uint32_t linear, std::uint8_t value, std::uint64_t now) {
  const std::uint32_t address = WordAddress(linear);
  if (value == 0xF0 && (step_ == 2 || mode_ == ChipMode::kAutoselect)) {
    // AA 55 F0 resets the chip; autoselect also ends at a lone F0. Status
    // mode takes the full sequence (the stricter reading).
    mode_ = ChipMode::kReadArray;
    step_ = 0;
    return;
  }
  const bool commandAddress = address == kCommandWord;
  const bool first = commandAddress && value == 0xAA;
  const bool second = address == kUnlockWord && value == 0x55;
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
      step_ = 0;
      if (!commandAddress) {
        step_ = first ? 1 : 0;
      } else if (value == 0x90) {
        mode_ = ChipMode::kAutoselect;
      } else if (value == 0x70) {
        mode_ = ChipMode::kStatus;
      } else if (value == 0x50) {
        status_ = kReady;
      } else if (value == 0xA0) {
        mode_ = ChipMode::kPageLoad;
        pageLoaded_.reset();
        lastLoadAt_ = now;  // counted from here only when the timer runs from the command
      } else if (value == 0x80) {
        step_ = 3;
      } else {
        step_ = first ? 1 : 0;
      }
      return;
    default:
      step_ = 0;
      if (commandAddress && value == 0x10) {
        ++counters_.chipErases;
        job_ = Job::kChipErase;
        StartJob(now, 16 * Duration(kSectorEraseTypical, kSectorEraseMaximum));
      } else if (value == 0x30) {
        ++counters_.sectorErases;
        job_ = Job::kSectorErase;
        eraseSector_ = (linear % kSizeBytes) / kSectorBytes;
        StartJob(now, Duration(kSectorEraseTypical, kSectorEraseMaximum));
      } else {
        step_ = first ? 1 : 0;
      }
      return;
  }
}

std::uint8_t Mx29f1610Chip::ReadOther(std::uint32_t linear, std::uint64_t now) {
  AdvanceTo(now);
  switch (mode_) {
    case ChipMode::kAutoselect: {
      // The chip drives D0-D7 only; the odd byte of each word is its upper
      // half, 0x00. Word 0 is the maker, word 1 the device, word 2 of a
      // sector its protection.
      if ((linear & 1) != 0)
        return 0x00;
      const std::uint32_t word = (linear >> 1) & 3;
      if (word == 0)
        return kManufacturer;
      if (word == 1)
        return kDevice;
      if (word == 2 && protected_[linear / kSectorBytes])
        return kSectorProtected;
      return 0x00;
    }
    case ChipMode::kStatus:
    case ChipMode::kPageLoad:
      // While bytes are still being loaded programming has not begun: the
      // status keeps its last value, ready included. A writer that polls
      // too early sees "ready" over a page not yet programmed, and its
      // verify catches it.
      return status_;
    default:
      return contents_[linear];
  }
}

}  // namespace velwin::xchanger::sim
