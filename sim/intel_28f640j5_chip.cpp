#include "sim/intel_28f640j5_chip.h"

#include "sim/flash_chip.h"

namespace velwin::xchanger::sim {

Intel28f640j5Chip::Intel28f640j5Chip(std::span<const std::uint8_t> image, const ChipFaults& faults)
    : EmulatedChip(kSizeBytes, image, faults) {
  // Lock bits are non-volatile: a block locked before stays so until the
  // clear command, through any reset.
  if (faults.lockedSector && *faults.lockedSector < kBlockCount)
    locked_.set(*faults.lockedSector);
}

void Intel28f640j5Chip::Reset() {
  EmulatedChip::Reset();
  status_ = kReady;
  setup_ = 0;
  bufferLeft_ = -1;
  bufferRefused_ = false;
  job_ = Job::kNone;
  busy_ = false;
}

void Intel28f640j5Chip::StartJob(std::uint64_t now, std::uint64_t duration) {
  busy_ = true;
  busyUntil_ = now + duration;
  status_ = static_cast<std::uint8_t>(status_ & ~kReady);
  mode_ = ChipMode::kStatus;
}

void Intel28f640j5Chip::AdvanceTo(std::uint64_t now) {
  if (busy_ && now >= busyUntil_)
    CompleteJob();
}

void Intel28f640j5Chip::CompleteJob() {
  switch (job_) {
    case Job::kByteProgram:
      if (!ProgramByte(jobAddress_, jobValue_))
        status_ |= kProgramError;
      break;
    case Job::kBufferProgram:
      for (std::uint32_t i = 0; i < kBufferBytes; ++i) {
        if (bufferLoaded_[i] && !ProgramByte(bufferStart_ + i, bufferData_[i]))
          status_ |= kProgramError;
      }
      break;
    case Job::kBlockErase:
      if (!EraseRange(jobAddress_ / kBlockBytes * kBlockBytes, kBlockBytes))
        status_ |= kEraseError;
      break;
    case Job::kSetLock:
      locked_.set(jobAddress_ / kBlockBytes);
      break;
    case Job::kClearLocks:
      locked_.reset();
      break;
    case Job::kNone:
      break;
  }
  job_ = Job::kNone;
  busy_ = false;
  status_ |= kReady;
}

void Intel28f640j5Chip::Write(std::uint32_t linear, std::uint8_t value, std::uint64_t now) {
  AdvanceTo(now);
  if (busy_) {
    // While the chip programs or erases it reads out its status and takes
    // no command (suspend is not emulated). A buffered write asked for now
    // finds the buffer taken: the extended status reads 0 until E8 is
    // sent again once the chip is ready.
    if (value == 0xE8)
      bufferRefused_ = true;
    return;
  }
  bufferRefused_ = false;
  if (mode_ == ChipMode::kSetup) {
    Confirm(linear, value, now);
  } else if (mode_ == ChipMode::kBufferLoad) {
    BufferWrite(linear, value, now);
  } else {
    Command(linear, value, now);
  }
}

void Intel28f640j5Chip::Command(std::uint32_t linear, std::uint8_t value, std::uint64_t now) {
  (void)now;
  switch (value) {
    case 0xFF:
      mode_ = ChipMode::kReadArray;
      break;
    case 0x98:
      mode_ = ChipMode::kCfiQuery;
      break;
    case 0x90:
      mode_ = ChipMode::kIdentifier;
      break;
    case 0x70:
      mode_ = ChipMode::kStatus;
      break;
    case 0x50:
      // The error bits stay set until this command, whatever comes between.
      status_ = kReady;
      break;
    case 0x10:
    case 0x20:
    case 0x40:
    case 0x60:
      setup_ = value;
      mode_ = ChipMode::kSetup;
      break;
    case 0xE8:
      bufferBlock_ = linear / kBlockBytes;
      bufferLeft_ = -1;
      bufferValid_ = true;
      bufferLoaded_.reset();
      mode_ = ChipMode::kBufferLoad;
      break;
    default:
      break;  // not a command of this part (F0 among them): ignored
  }
}

// The second write of a program, erase or lock command. A locked block
// refuses program and erase with bit 1 set beside the error bit; a confirm
// that does not belong to the setup is a command sequence error (bits 5
// and 4). The master lock bit (60 F1) needs high voltage on RP#, which the
// card does not have: it is a sequence error too.
void Intel28f640j5Chip::Confirm(std::uint32_t linear, std::uint8_t value, std::uint64_t now) {
  const std::uint8_t setup = setup_;
  setup_ = 0;
  mode_ = ChipMode::kStatus;
  const bool locked = locked_[linear / kBlockBytes];
  switch (setup) {
    case 0x10:
    case 0x40:
      if (locked) {
        status_ |= kProgramError | kBlockLocked;
        return;
      }
      ++counters_.bytePrograms;
      ++counters_.bytesProgrammed;
      job_ = Job::kByteProgram;
      jobAddress_ = linear;
      jobValue_ = value;
      StartJob(now, Duration(kByteProgramTypical, kByteProgramMaximum));
      return;
    case 0x20:
      if (value != 0xD0) {
        status_ |= kSequenceError;
      } else if (locked) {
        status_ |= kEraseError | kBlockLocked;
      } else {
        ++counters_.sectorErases;
        job_ = Job::kBlockErase;
        jobAddress_ = linear;
        StartJob(now, Duration(kBlockEraseTypical, kBlockEraseMaximum));
      }
      return;
    default:  // 0x60
      if (value == 0x01) {
        job_ = Job::kSetLock;
        jobAddress_ = linear;
        StartJob(now, Duration(kSetLockTypical, kSetLockMaximum));
      } else if (value == 0xD0) {
        job_ = Job::kClearLocks;
        StartJob(now, Duration(kClearLocksTypical, kClearLocksMaximum));
      } else {
        status_ |= kSequenceError;
      }
      return;
  }
}

// E8 at the block, then the count less one, the bytes, D0. All bytes must
// lie in the block the E8 named and in one 32-byte aligned window of it
// (the stricter reading of the datasheet); anything else, a count over the
// buffer or a confirm other than D0 is a command sequence error and
// nothing is written.
void Intel28f640j5Chip::BufferWrite(std::uint32_t linear, std::uint8_t value, std::uint64_t now) {
  if (bufferLeft_ < 0) {
    if (value >= kBufferBytes) {
      status_ |= kSequenceError;
      mode_ = ChipMode::kStatus;
      return;
    }
    bufferLeft_ = value + 1;
    return;
  }
  if (bufferLeft_ > 0) {
    const std::uint32_t window = linear & ~(kBufferBytes - 1);
    if (bufferLoaded_.none())
      bufferStart_ = window;
    if (linear / kBlockBytes != bufferBlock_ || window != bufferStart_) {
      bufferValid_ = false;
    } else {
      bufferData_[linear - bufferStart_] = value;
      bufferLoaded_.set(linear - bufferStart_);
    }
    --bufferLeft_;
    return;
  }
  mode_ = ChipMode::kStatus;
  bufferLeft_ = -1;
  if (value != 0xD0 || !bufferValid_) {
    status_ |= kSequenceError;
    return;
  }
  if (locked_[bufferBlock_]) {
    status_ |= kProgramError | kBlockLocked;
    return;
  }
  ++counters_.bufferPrograms;
  counters_.bytesProgrammed += bufferLoaded_.count();
  job_ = Job::kBufferProgram;
  StartJob(now, Duration(kBufferProgramTypical, kBufferProgramMaximum));
}

std::uint8_t Intel28f640j5Chip::ReadOther(std::uint32_t linear, std::uint64_t now) {
  AdvanceTo(now);
  // The identifier and query data sit on D0-D7 of each word; the odd byte
  // is the word's empty upper half.
  const bool oddByte = (linear & 1) != 0;
  const std::uint32_t word = (linear >> 1) & 0xFF;
  switch (mode_) {
    case ChipMode::kIdentifier:
      if (oddByte)
        return 0x00;
      switch (word & 3) {
        case 0:
          return kManufacturer;
        case 1:
          return kDevice;
        case 2:
          return locked_[linear / kBlockBytes] ? 0x01 : 0x00;  // the block's lock bit on DQ0
        default:
          return 0x00;  // the master lock bit: clear
      }
    case ChipMode::kCfiQuery: {
      const auto table = CfiQueryTable();
      if (oddByte || word >= table.size())
        return 0x00;
      return table[word];
    }
    case ChipMode::kStatus:
    case ChipMode::kSetup:
    case ChipMode::kBufferLoad:
      if (bufferRefused_)
        return 0x00;  // extended status: the buffer is not free
      return status_;
    default:
      return contents_[linear];
  }
}

}  // namespace velwin::xchanger::sim
