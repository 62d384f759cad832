#include "sim/simulated_xchanger.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "sim/rom_file.h"
#include "sim/sram_file.h"

namespace velwin::xchanger::sim {
namespace {

// Control register bits. STROBE, AUTOFEED and SELECT IN drive active-low
// pins through inverters, so a 1 asserts them; INIT is the pin level.
constexpr std::uint8_t kStrobe = 0x01;    // nWrite of the EPP cycle
constexpr std::uint8_t kAutoFeed = 0x02;  // data strobe
constexpr std::uint8_t kInit = 0x04;      // high: the X-Changer drives the high nibble
constexpr std::uint8_t kSelectIn = 0x08;  // address strobe

// The X-Changer's register numbers; it decodes two address lines.
constexpr std::uint8_t kAddrLowReg = 0;
constexpr std::uint8_t kAddrHighReg = 1;
constexpr std::uint8_t kModeReg = 2;
constexpr std::uint8_t kDataReg = 3;

// ModeReg values the X-Changer acts on; any other value leaves the cart bus
// idle.
constexpr std::uint8_t kModeSingle = 0x80;
constexpr std::uint8_t kModeBlock = 0x81;
constexpr std::uint8_t kModeFlashWrite = 0x82;

// Status register bits the X-Changer does not drive: BUSY and the reserved
// bits 1-2 read high on its port.
constexpr std::uint8_t kStatusFixedBits = 0x86;

// The SRAM is written back when the simulation ends, perhaps after the
// program changed its working directory: fix the file's place now.
std::string AbsolutePath(std::string path) {
  if (path.empty())
    return path;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.string();
}

}  // namespace

SimulatedXChanger::SimulatedXChanger(SimConfig config)
    : cart_(config.hasCart ? config.card : FlashChip::kNone,
            config.hasCart ? std::span<const std::uint8_t>(config.rom)
                           : std::span<const std::uint8_t>(),
            std::move(config.sram), config.hasCart, clock_, config.chipFaults),
      sramPath_(AbsolutePath(std::move(config.sramPath))),
      romPath_(config.hasCart ? AbsolutePath(std::move(config.romPath)) : std::string()),
      romFileBytes_(config.rom.size()),
      unplugAfter_(config.unplugAfter),
      advanceUnderFlashWrite_(config.advanceUnderFlashWrite) {
  cart_.SetSramFaults(config.flakyEvery, config.noisyEvery);
  clock_.SetAccessTime(config.accessNs);
  // The pauses' places follow from the settings alone, so a run repeats.
  clock_.SetJitter(config.jitterEvery, config.jitterUs, config.jitterEvery * 31 + config.jitterUs);
  // The stuck line acts where the X-Changer takes bytes off the cart bus:
  // that is what a save, a verify and the header check see. Writes are
  // left whole so the fault cannot hide behind a wrong bank selection or a
  // disabled SRAM; a load still fails its read-back.
  if (config.stuck) {
    const auto bit = static_cast<std::uint8_t>(1u << config.stuck->line);
    readKeep_ = static_cast<std::uint8_t>(~bit);
    readSet_ = config.stuck->high ? bit : std::uint8_t{0};
  }
  if (config.shorted) {
    shortedBits_ =
        static_cast<std::uint8_t>((1u << config.shorted->lower) | (1u << config.shorted->higher));
  }
  ports_[0].base = kLpt1Base;
  ports_[1].base = kLpt2Base;
  for (int i = 0; i < 2; ++i) {
    ParallelPort& p = ports_[static_cast<std::size_t>(i)];
    if (config.lpt == i + 1) {
      p.device = Device::kXChanger;
      p.eppAnswers = config.modes != LinkModes::kSppOnly;
      p.sppAnswers = config.modes != LinkModes::kEppOnly;
    } else if (config.otherEcho) {
      p.device = Device::kEcho;
      p.eppAnswers = true;
      p.sppAnswers = true;
    }
  }
}

SimulatedXChanger::~SimulatedXChanger() {
  // The card stays powered after the program quits: a page write or erase
  // under way completes.
  cart_.Chip().Finish();
  std::string ignored;
  WriteBack(ignored);
}

std::uint16_t SimulatedXChanger::ReadLptBase(int n) {
  if (n == 1)
    return kLpt1Base;
  if (n == 2)
    return kLpt2Base;
  return 0;
}

// The X-Changer's plug comes out of the port: from then on its port is an
// empty one, whose status lines float and whose EPP cycles nobody answers.
void SimulatedXChanger::CountAccess() {
  if (!unplugAfter_ || counters_.reads + counters_.writes < *unplugAfter_)
    return;
  unplugAfter_.reset();
  for (ParallelPort& p : ports_) {
    if (p.device == Device::kXChanger) {
      p.device = Device::kNothing;
      p.eppAnswers = false;
      p.sppAnswers = false;
      p.cycle = Cycle::kIdle;
    }
  }
}

void SimulatedXChanger::PortWrite(std::uint16_t port, std::uint8_t value) {
  clock_.Tick();
  CountAccess();
  ++counters_.writes;
  if (portTraceOn_) [[unlikely]]
    portTrace_.push_back({port, true, value});
  ParallelPort* p = PortAt(port);
  if (p == nullptr)
    return;
  switch (port & 7) {
    case 0:
      p->data = value;
      break;
    case 1:
      // The time-out flag is cleared by writing a 1 to it.
      if ((value & 0x01) != 0)
        p->eppTimeout = false;
      break;
    case 2:
      WriteControl(*p, value);
      break;
    case 3:
      EppAddressWrite(*p, value);
      break;
    case 4:
      EppDataWrite(*p, value);
      break;
    default:
      break;  // the wide EPP data bytes: the X-Changer is eight bits wide
  }
}

std::uint8_t SimulatedXChanger::PortRead(std::uint16_t port) {
  clock_.Tick();
  CountAccess();
  ++counters_.reads;
  std::uint8_t value = 0xFF;
  if (ParallelPort* p = PortAt(port)) {
    switch (port & 7) {
      case 0:
        value = p->data;
        break;
      case 1:
        value = Status(*p);
        break;
      case 2:
        value = p->control;
        break;
      case 4:
        value = EppDataRead(*p);
        break;
      default:
        break;  // EPP address reads are not answered
    }
  }
  if (portTraceOn_) [[unlikely]]
    portTrace_.push_back({port, false, value});
  return value;
}

std::uint8_t SimulatedXChanger::Status(const ParallelPort& p) {
  if (p.device == Device::kNothing)
    return kIdleStatus;
  // Outside a read cycle nobody drives the nibble lines; they float high.
  std::uint8_t nibble = 0x0F;
  if (p.cycle == Cycle::kDataRead) {
    nibble = (p.control & kInit) != 0 ? p.readByte >> 4 : p.readByte & 0x0F;
  }
  return static_cast<std::uint8_t>(kStatusFixedBits | (nibble << 3) | (p.eppTimeout ? 1 : 0));
}

// A peripheral sees only the lines, so a cycle begins when they change into
// its pattern and ends when they leave it; writing the same value again is
// no new cycle.
void SimulatedXChanger::WriteControl(ParallelPort& p, std::uint8_t value) {
  p.control = value;
  if (!p.sppAnswers)
    return;
  Cycle next = Cycle::kIdle;
  switch (value & (kStrobe | kAutoFeed | kSelectIn)) {
    case kStrobe | kSelectIn:
      next = Cycle::kAddressWrite;
      break;
    case kStrobe | kAutoFeed:
      next = Cycle::kDataWrite;
      break;
    case kAutoFeed:
      next = Cycle::kDataRead;
      break;
    default:
      break;
  }
  if (next == p.cycle)
    return;  // INIT alone changes only the nibble shown
  if (p.cycle == Cycle::kDataWrite || p.cycle == Cycle::kDataRead)
    FinishDataCycle(p);
  p.cycle = next;
  switch (next) {
    case Cycle::kAddressWrite:
      SelectRegister(p, p.data);
      break;
    case Cycle::kDataWrite:
      WriteRegister(p, p.data);
      break;
    case Cycle::kDataRead:
      // The X-Changer fetches the byte when the strobe comes and holds it
      // for both nibbles of the cycle.
      p.readByte = ReadRegister(p);
      break;
    case Cycle::kIdle:
      break;
  }
}

void SimulatedXChanger::EppAddressWrite(ParallelPort& p, std::uint8_t value) {
  if (!p.eppAnswers) {
    if (p.device != Device::kNothing)
      p.eppTimeout = true;
    return;
  }
  SelectRegister(p, value);
}

void SimulatedXChanger::EppDataWrite(ParallelPort& p, std::uint8_t value) {
  if (!p.eppAnswers) {
    if (p.device != Device::kNothing)
      p.eppTimeout = true;
    return;
  }
  WriteRegister(p, value);
  FinishDataCycle(p);
}

std::uint8_t SimulatedXChanger::EppDataRead(ParallelPort& p) {
  if (!p.eppAnswers) {
    if (p.device != Device::kNothing)
      p.eppTimeout = true;
    return 0xFF;
  }
  // STROBE left asserted in the control register holds nWrite low through
  // the read: the X-Changer keeps its bus turned towards the cart and
  // nothing drives the port's data lines.
  if ((p.control & kStrobe) != 0)
    return 0xFF;
  const std::uint8_t value = ReadRegister(p);
  FinishDataCycle(p);
  return value;
}

void SimulatedXChanger::SelectRegister(ParallelPort& p, std::uint8_t reg) {
  if (p.device == Device::kEcho) {
    p.selected = reg & 3;
  } else if (p.device == Device::kXChanger) {
    registers_.selected = reg & 3;
  }
}

void SimulatedXChanger::WriteRegister(ParallelPort& p, std::uint8_t value) {
  if (p.device == Device::kEcho) {
    if (p.selected == kAddrHighReg)
      p.echo = value;
    return;
  }
  if (p.device != Device::kXChanger)
    return;
  switch (registers_.selected) {
    case kAddrLowReg:
      registers_.addressLow = value;
      break;
    case kAddrHighReg:
      registers_.addressHigh = value;
      break;
    case kModeReg:
      registers_.mode = value;
      break;
    default:
      if (registers_.mode == kModeSingle || registers_.mode == kModeBlock) {
        cart_.Write(CartAddress(), value);
      } else if (registers_.mode == kModeFlashWrite) {
        cart_.FlashWrite(CartAddress(), value);
      }
      break;
  }
}

std::uint8_t SimulatedXChanger::ReadRegister(ParallelPort& p) {
  if (p.device == Device::kEcho) {
    // Answers the high address register like an X-Changer, but drives 0x00
    // for every other register.
    return p.selected == kAddrHighReg ? p.echo : 0x00;
  }
  if (p.device != Device::kXChanger)
    return 0xFF;
  switch (registers_.selected) {
    case kAddrLowReg:
      return registers_.addressLow;
    case kAddrHighReg:
      return registers_.addressHigh;
    case kModeReg:
      return registers_.mode;
    default:
      if (registers_.mode == kModeSingle || registers_.mode == kModeBlock ||
          registers_.mode == kModeFlashWrite) {
        return BusFaults(cart_.Read(CartAddress()));
      }
      return 0xFF;  // idle mode: the cart bus is not driven
  }
}

// The shorted pair first, at the cart's pins, then a line held at the
// X-Changer's input.
std::uint8_t SimulatedXChanger::BusFaults(std::uint8_t byte) const {
  if (shortedBits_ != 0 && (byte & shortedBits_) != shortedBits_)
    byte = static_cast<std::uint8_t>(byte & ~shortedBits_);
  return static_cast<std::uint8_t>((byte & readKeep_) | readSet_);
}

void SimulatedXChanger::FinishDataCycle(ParallelPort& p) {
  // Whether flash-write mode advances the latch is not known: with
  // advance82=1 it does, so that a writer that leans on either answer fails.
  const bool advances = registers_.mode == kModeBlock ||
                        (advanceUnderFlashWrite_ && registers_.mode == kModeFlashWrite);
  if (p.device != Device::kXChanger || registers_.selected != kDataReg || !advances)
    return;
  // Block mode steps the 16-bit address latch, carrying into the high byte.
  const auto next = static_cast<std::uint16_t>(CartAddress() + 1u);
  registers_.addressLow = static_cast<std::uint8_t>(next & 0xFF);
  registers_.addressHigh = static_cast<std::uint8_t>(next >> 8);
}

bool SimulatedXChanger::Flush(std::string& error) {
  return WriteBack(error);
}

bool SimulatedXChanger::WriteBack(std::string& error) {
  bool ok = true;
  if (!sramPath_.empty() && cart_.SramChanged()) {
    if (WriteSramImage(sramPath_, cart_.Sram(), error)) {
      cart_.MarkSramSaved();
    } else {
      ok = false;
    }
  }
  // The card's contents as they stand now: an operation still running has
  // not changed them yet.
  FlashChipModel& chip = cart_.Chip();
  chip.AdvanceTo(clock_.Now());
  if (!romPath_.empty() && chip.ContentsChanged()) {
    const auto contents = chip.Contents();
    const auto length = RomImageLength(contents, romFileBytes_);
    std::string romError;
    if (WriteRomImage(romPath_, contents.first(length), romError)) {
      chip.MarkContentsSaved();
      romFileBytes_ = length;
    } else if (ok) {
      error = romError;
      ok = false;
    }
  }
  return ok;
}

void SimulatedXChanger::ClearTraces() {
  portTrace_.clear();
  cart_.ClearTrace();
}

}  // namespace velwin::xchanger::sim
