#include "sim/sim_cart.h"

#include <algorithm>

namespace velwin::xchanger::sim {
namespace {

std::uint32_t SramChipSize(std::size_t imageSize) {
  if (imageSize == 0)
    return 0;
  std::uint32_t size = kSramMinBytes;
  while (size < imageSize && size < kSramMaxBytes)
    size *= 2;
  return size;
}

}  // namespace

SimulatedCart::SimulatedCart(FlashChip chip, std::span<const std::uint8_t> rom,
                             std::vector<std::uint8_t> sram, bool present,
                             const SimulatedClock& clock, const ChipFaults& faults)
    : clock_(clock),
      chip_(chip, rom, faults),
      sram_(std::move(sram)),
      romBankMask_(chip_.BankCount() - 1),
      present_(present) {
  sram_.resize(SramChipSize(sram_.size()), 0xFF);
  if (!sram_.empty()) {
    const auto bankCount =
        std::max<std::uint32_t>(1, static_cast<std::uint32_t>(sram_.size()) / kSramBankSize);
    sramBankMask_ = bankCount - 1;
    // A 2 KiB chip has fewer address lines than the 8 KB window: it repeats.
    sramAddressMask_ =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(sram_.size()), kSramBankSize) - 1;
  }
  PowerOn();
}

void SimulatedCart::PowerOn() {
  // MBC5 power-on state: ROM bank 1 switched in, SRAM bank 0, SRAM disabled.
  romBankLow_ = 1;
  romBankHigh_ = 0;
  sramEnabled_ = false;
  sramOffset_ = 0;
  UpdateRomOffset();
  chip_.Reset();
}

void SimulatedCart::PowerOff() {
  chip_.AdvanceTo(clock_.Now());
  chip_.Reset();
}

void SimulatedCart::UpdateRomOffset() {
  // Bank lines beyond the chip are not connected: the bank number wraps.
  const std::uint32_t bank = ((std::uint32_t{romBankHigh_} << 8) | romBankLow_) & romBankMask_;
  romOffset_ = bank * kRomBankSize;
}

// The bits one noisy SRAM read flips: none, or one bit in about every
// noisyEvery_ bytes. A counter would flip the same offsets of every bank
// whenever the count divides the bank size, and two reads of a bank would
// then agree on the wrong data.
std::uint8_t SimulatedCart::Noise() {
  if (noisyEvery_ == 0)
    return 0;
  // splitmix64: cheap, and every seed gives a full-period sequence.
  std::uint64_t z = (noiseState_ += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  z ^= z >> 31;
  if ((z >> 3) % noisyEvery_ != 0)
    return 0;
  return static_cast<std::uint8_t>(1u << (z & 7u));
}

void SimulatedCart::Record(CartBusEvent::Kind kind, std::uint16_t address, std::uint8_t value) {
  trace_.push_back({kind, address, value});
}

std::uint8_t SimulatedCart::Read(std::uint16_t address) {
  if (!Answers())
    return 0xFF;  // nothing drives the data lines: pulled up
  ++counters_.reads;
  std::uint8_t value = 0xFF;
  if (address < 0x8000) {
    value = chip_.Read(LinearAddress(address), clock_.Now());
  } else if (address >= 0xA000 && address < 0xC000 && sramEnabled_ && !sram_.empty()) {
    value = static_cast<std::uint8_t>(sram_[sramOffset_ + (address & sramAddressMask_)] ^ Noise());
  }
  if (traceOn_) [[unlikely]]
    Record(CartBusEvent::Kind::kRead, address, value);
  return value;
}

void SimulatedCart::Write(std::uint16_t address, std::uint8_t value) {
  if (!Answers())
    return;
  if (traceOn_) [[unlikely]]
    Record(CartBusEvent::Kind::kWrite, address, value);
  if (address < 0x8000) {
    ++counters_.mapperWrites;
    switch (address >> 12) {
      case 0x0:
      case 0x1:
        // The MBC5 compares all eight bits: only 0x0A enables.
        sramEnabled_ = value == 0x0A;
        break;
      case 0x2:
        romBankLow_ = value;
        UpdateRomOffset();
        break;
      case 0x3:
        romBankHigh_ = value;
        UpdateRomOffset();
        break;
      case 0x4:
      case 0x5:
        sramOffset_ = (value & sramBankMask_) * kSramBankSize;
        break;
      default:
        break;  // 0x6000-0x7FFF: no register on this mapper
    }
    return;
  }
  if (address >= 0xA000 && address < 0xC000) {
    ++counters_.sramWrites;
    if (!sramEnabled_ || sram_.empty())
      return;
    if (flakyEvery_ != 0 && ++sramBytesWritten_ % flakyEvery_ == 0)
      value ^= 0x01;
    std::uint8_t& cell = sram_[sramOffset_ + (address & sramAddressMask_)];
    if (cell != value) {
      cell = value;
      sramChanged_ = true;
    }
  }
}

void SimulatedCart::FlashWrite(std::uint16_t address, std::uint8_t value) {
  if (!Answers())
    return;
  if (traceOn_) [[unlikely]]
    Record(CartBusEvent::Kind::kFlashCommand, address, value);
  if (address >= 0x8000)
    return;  // the flash chip is selected only for ROM addresses
  ++counters_.flashCommands;
  chip_.Command(LinearAddress(address), value, clock_.Now());
}

void SimulatedCart::RemoveAfter(std::uint64_t accesses) {
  if (accesses == 0) {
    if (present_)
      PowerOff();
    present_ = false;
    accessesLeft_ = kStaysInserted;
  } else {
    accessesLeft_ = accesses;
  }
}

void SimulatedCart::Insert() {
  present_ = true;
  accessesLeft_ = kStaysInserted;
  PowerOn();
}

}  // namespace velwin::xchanger::sim
