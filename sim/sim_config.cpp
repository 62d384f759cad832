#include "sim/sim_config.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>

#include "fileio/atomic_file.h"
#include "fileio/byte_file.h"
#include "fileio/file_error.h"
#include "sim/flash_chip.h"
#include "sim/sram_file.h"

namespace velwin::xchanger::sim {
namespace {

using fileio::ByteFile;
using fileio::FileError;

constexpr std::array<std::string_view, 19> kKeys = {
    "rom",   "sram",   "card",    "lpt",       "other",    "modes", "unplug",
    "flaky", "noisy",  "badbyte", "erasefail", "locked",   "slow",  "stuck",
    "short", "access", "jitter",  "advance82", "loadtimer"};

// A port access of a millisecond is a thousand times slower than a real
// port; a pause of a second is longer than any scheduler takes.
constexpr std::uint64_t kMaxAccessNs = 1'000'000;
constexpr std::uint64_t kMaxPauseUs = 1'000'000;

// A decimal count of at least minimum, no sign, no blanks.
std::optional<std::uint64_t> ParseCount(std::string_view text, std::uint64_t minimum) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < minimum)
    return std::nullopt;
  return value;
}

// Built by appending: GCC 12 warns falsely about operator+ on a temporary.
std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.append(1, '"').append(text).append(1, '"');
  return quoted;
}

std::string CardName(FlashChip card) {
  if (const FlashChipInfo* info = FindFlashChip(card)) {
    return "a " + std::to_string(info->sizeMbit) + " Mbit card";
  }
  return "a cart ROM";
}

bool LoadRom(const std::string& path, FlashChip card, std::vector<std::uint8_t>& rom,
             std::string& error) {
  const FlashChipInfo* info = FindFlashChip(card);
  const std::int64_t limit = info != nullptr ? std::int64_t{info->bankCount} * kRomBankSize
                                             : std::int64_t{kMaskRomMaxBytes};
  // A write-back of an earlier run that was killed half-way.
  fileio::AtomicFile::RemoveLeftover(path);
  try {
    auto file = ByteFile::Open(path, ByteFile::Access::kRead);
    const std::int64_t size = file.Size();
    if (size > limit) {
      error = "ROM image " + Quoted(path) + " is " + std::to_string(size) +
              " bytes, more than the " + std::to_string(limit) + " bytes of " + CardName(card);
      return false;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    bytes.resize(file.Read(bytes));
    rom = std::move(bytes);
    return true;
  } catch (const FileError& e) {
    error = "ROM image " + Quoted(path) + ": " + e.what();
    return false;
  }
}

bool IsChipFaultKey(std::string_view key) {
  return key == "badbyte" || key == "erasefail" || key == "locked" || key == "slow";
}

// A number in decimal or, after 0x, in hexadecimal.
std::optional<std::uint32_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || ec != std::errc() || ptr != end)
    return std::nullopt;
  return value;
}

// The flash chip's defects; their ranges are checked once the card is known.
bool ParseChipFault(std::string_view key, std::string_view value, ChipFaults& faults,
                    std::string& error) {
  const auto bad = [&](std::string_view allowed) {
    error.assign("simulation setting ").append(key).append(" must be ").append(allowed);
    error.append(", not ").append(Quoted(value));
    return false;
  };
  if (key == "slow") {
    if (value != "0" && value != "1")
      return bad("0 or 1");
    faults.slow = value == "1";
    return true;
  }
  const auto number = ParseNumber(value);
  if (!number)
    return bad(key == "badbyte" ? "a card address" : "a sector number");
  (key == "badbyte"     ? faults.badByte
   : key == "erasefail" ? faults.failingSector
                        : faults.lockedSector) = *number;
  return true;
}

// A defect must name a place on the card the simulation holds.
bool CheckChipFaults(const SimConfig& config, std::string& error) {
  const ChipFaults& faults = config.chipFaults;
  const FlashChipInfo* info = FindFlashChip(config.card);
  const bool any = faults.badByte || faults.failingSector || faults.lockedSector || faults.slow;
  if (info == nullptr) {
    if (any)
      error =
          "simulation settings badbyte, erasefail, locked and slow need a flash card "
          "(card=4, 16 or 64)";
    return !any;
  }
  const std::uint32_t bytes = std::uint32_t{info->bankCount} * kRomBankSize;
  const std::uint32_t sectors = bytes / kFaultSectorBytes;
  const std::string last = std::to_string(sectors - 1);
  if (faults.badByte && *faults.badByte >= bytes) {
    error = "simulation setting badbyte must be an address below " + std::to_string(bytes) +
            " on " + CardName(config.card);
    return false;
  }
  if (faults.failingSector && *faults.failingSector >= sectors) {
    error = "simulation setting erasefail must be a sector from 0 to " + last + " on " +
            CardName(config.card);
    return false;
  }
  if (faults.lockedSector && config.card == FlashChip::k4Mbit && *faults.lockedSector != 0 &&
      *faults.lockedSector != sectors - 1) {
    // The 4 Mbit chip's only protection is the lockout of its two 16 KiB
    // boot blocks, the first and the last: they lie in the first and the
    // last quarter of the chip.
    error = "simulation setting locked must be 0 (the low boot block) or " + last +
            " (the high boot block) on " + CardName(config.card);
    return false;
  }
  if (faults.lockedSector && *faults.lockedSector >= sectors) {
    error = "simulation setting locked must be a sector from 0 to " + last + " on " +
            CardName(config.card);
    return false;
  }
  return true;
}

bool ParseValue(std::string_view key, std::string_view value, SimConfig& config,
                std::string& error) {
  const auto bad = [&](std::string_view allowed) {
    error.assign("simulation setting ").append(key).append(" must be ").append(allowed);
    error.append(", not ").append(Quoted(value));
    return false;
  };
  if (key == "rom" || key == "sram") {
    if (value.empty())
      return bad("a file name");
    (key == "rom" ? config.romPath : config.sramPath) = value;
  } else if (key == "card") {
    if (value == "4") {
      config.card = FlashChip::k4Mbit;
    } else if (value == "16") {
      config.card = FlashChip::k16Mbit;
    } else if (value == "64") {
      config.card = FlashChip::k64Mbit;
    } else if (value == "none") {
      config.card = FlashChip::kNone;
    } else {
      return bad("4, 16, 64 or none");
    }
  } else if (key == "lpt") {
    if (value == "1") {
      config.lpt = 1;
    } else if (value == "2") {
      config.lpt = 2;
    } else if (value == "none") {
      config.lpt = 0;
    } else {
      return bad("1, 2 or none");
    }
  } else if (key == "other") {
    if (value == "echo") {
      config.otherEcho = true;
    } else if (value == "none") {
      config.otherEcho = false;
    } else {
      return bad("echo or none");
    }
  } else if (key == "unplug" || key == "flaky" || key == "noisy") {
    const bool isUnplug = key == "unplug";
    const auto count = ParseCount(value, isUnplug ? 0 : 1);
    if (!count)
      return bad(isUnplug ? "a count of port accesses" : "a count of at least 1");
    if (isUnplug) {
      config.unplugAfter = count;
    } else {
      (key == "flaky" ? config.flakyEvery : config.noisyEvery) = *count;
    }
  } else if (IsChipFaultKey(key)) {
    return ParseChipFault(key, value, config.chipFaults, error);
  } else if (key == "access") {
    const auto ns = ParseCount(value, 1);
    if (!ns || *ns > kMaxAccessNs)
      return bad("the nanoseconds a port access takes, 1 to 1000000");
    config.accessNs = *ns;
  } else if (key == "jitter") {
    // "2000:500": a 500 us pause about every 2000 port accesses.
    const std::size_t colon = value.find(':');
    const auto every =
        colon == std::string_view::npos ? std::nullopt : ParseCount(value.substr(0, colon), 1);
    const auto pause =
        colon == std::string_view::npos ? std::nullopt : ParseCount(value.substr(colon + 1), 1);
    if (!every || !pause || *pause > kMaxPauseUs)
      return bad("N:US, a pause of US microseconds (1 to 1000000) about every N port accesses");
    config.jitterEvery = *every;
    config.jitterUs = *pause;
  } else if (key == "advance82") {
    if (value != "0" && value != "1")
      return bad("0 or 1");
    config.advanceUnderFlashWrite = value == "1";
  } else if (key == "loadtimer") {
    if (value != "byte" && value != "command")
      return bad("byte or command");
    config.chipFaults.loadTimerAtCommand = value == "command";
  } else if (key == "stuck") {
    // "d3:0": data line D3 held low.
    if (value.size() != 4 || value[0] != 'd' || value[1] < '0' || value[1] > '7' ||
        value[2] != ':' || (value[3] != '0' && value[3] != '1')) {
      return bad("dB:V, a data line B from 0 to 7 held at V, 0 or 1");
    }
    config.stuck =
        SimConfig::StuckDataLine{static_cast<std::uint8_t>(value[1] - '0'), value[3] == '1'};
  } else if (key == "short") {
    // "d0:d5": data lines D0 and D5 shorted together.
    const auto line = [](char c) { return c >= '0' && c <= '7'; };
    if (value.size() != 5 || value[0] != 'd' || !line(value[1]) || value[2] != ':' ||
        value[3] != 'd' || !line(value[4]) || value[1] == value[4]) {
      return bad("dA:dB, two different data lines A and B from 0 to 7");
    }
    const auto a = static_cast<std::uint8_t>(value[1] - '0');
    const auto b = static_cast<std::uint8_t>(value[4] - '0');
    config.shorted = SimConfig::ShortedDataLines{std::min(a, b), std::max(a, b)};
  } else if (value == "both") {
    config.modes = LinkModes::kBoth;
  } else if (value == "epp") {
    config.modes = LinkModes::kEppOnly;
  } else if (value == "spp") {
    config.modes = LinkModes::kSppOnly;
  } else {
    return bad("both, epp or spp");
  }
  return true;
}

}  // namespace

bool ParseSimSpec(std::string_view keyValues, SimConfig& config, std::string& error) {
  SimConfig result;
  std::array<bool, kKeys.size()> seen{};
  std::size_t start = 0;
  while (!keyValues.empty()) {
    const std::size_t comma = keyValues.find(',', start);
    const std::string_view item = keyValues.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      error = item.empty() ? "empty simulation setting in " + Quoted(keyValues)
                           : "simulation setting " + Quoted(item) + " needs a value (key=value)";
      return false;
    }
    const std::string_view key = item.substr(0, equals);
    std::size_t index = 0;
    while (index < kKeys.size() && kKeys[index] != key)
      ++index;
    if (index == kKeys.size()) {
      error = "unknown simulation setting " + Quoted(key) +
              " (known: rom, sram, card, lpt, other, modes, unplug, flaky, noisy, badbyte, "
              "erasefail, locked, slow, stuck, short, access, jitter, advance82, loadtimer)";
      return false;
    }
    if (seen[index]) {
      error.assign("simulation setting ").append(key).append(" is given twice");
      return false;
    }
    seen[index] = true;
    if (!ParseValue(key, item.substr(equals + 1), result, error))
      return false;
    if (comma == std::string_view::npos)
      break;
    start = comma + 1;
  }

  if (!CheckChipFaults(result, error))
    return false;
  if (result.chipFaults.loadTimerAtCommand && result.card != FlashChip::k16Mbit) {
    error = "simulation setting loadtimer=command needs the 16 Mbit card (card=16)";
    return false;
  }
  // Files are loaded once every key is known: the card decides the ROM limit.
  if (!result.romPath.empty()) {
    if (!LoadRom(result.romPath, result.card, result.rom, error))
      return false;
    result.hasCart = true;
  }
  if (result.sramPath.empty()) {
    result.sram.assign(128 * 1024, 0xFF);  // kept in memory for this run only
  } else if (!LoadSramImage(result.sramPath, result.sram, error)) {
    return false;
  }
  config = std::move(result);
  return true;
}

}  // namespace velwin::xchanger::sim
