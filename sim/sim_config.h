#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/emulated_chip.h"

namespace velwin::xchanger::sim {

enum class FlashChip { kNone, k4Mbit, k16Mbit, k64Mbit };
enum class LinkModes { kBoth, kEppOnly, kSppOnly };

// What the simulated X-Changer and cart are made of.
struct SimConfig {
  // The flash card's contents from ROM bank 0 on. Empty with hasCart false:
  // the X-Changer holds no cart and every cart read answers 0xFF.
  bool hasCart = false;
  std::vector<std::uint8_t> rom;
  std::string romPath;  // where rom came from: for messages, and written back when changed

  // The cart's SRAM image (at most 128 KiB); sramPath empty keeps it in
  // memory only. A missing file is created when the SRAM is written back.
  std::vector<std::uint8_t> sram;
  std::string sramPath;

  FlashChip card = FlashChip::k64Mbit;
  int lpt = 1;             // the port the X-Changer hangs on: 1, 2, or 0 for none
  bool otherEcho = false;  // the other port holds a device that echoes only AddrHighReg
  LinkModes modes = LinkModes::kBoth;

  // Faults on purpose, for trying what the program does with a bad link;
  // all off by default and deterministic. 0 is off for the counts.
  std::optional<std::uint64_t> unplugAfter;  // port accesses before the X-Changer is gone
  std::uint64_t flakyEvery = 0;  // every Nth byte written to the SRAM is stored with bit 0 flipped
  std::uint64_t noisyEvery = 0;  // about every Nth SRAM byte read comes back with a bit flipped
  ChipFaults chipFaults;         // badbyte=, erasefail=, locked=, slow=: the flash chip's defects
  // One data line of the X-Changer's cart bus held at a level, as a broken
  // input or a short would: every byte read from the cart has it.
  struct StuckDataLine {
    std::uint8_t line = 0;  // D0 to D7
    bool high = false;
  };
  std::optional<StuckDataLine> stuck;
  // The X-Changer advances its address latch after every DataReg cycle under
  // ModeReg 0x82 as it does under 0x81: nothing says it does not.
  bool advanceUnderFlashWrite = false;
  // Two data lines of the cart bus shorted together: both read alike, low
  // when the cart drives either of them low (a driver sinks far more
  // current than the other sources, so the low one wins).
  struct ShortedDataLines {
    std::uint8_t lower = 0;  // D0 to D7
    std::uint8_t higher = 0;
  };
  std::optional<ShortedDataLines> shorted;

  // The port's speed: nanoseconds per port access, and the scheduler's
  // pauses, about every jitterEvery accesses (0: never) for jitterUs each.
  std::uint64_t accessNs = 1000;
  std::uint64_t jitterEvery = 0;
  std::uint64_t jitterUs = 0;
};

// Parses "rom=PATH,sram=PATH,card=4|16|64|none,lpt=1|2|none,other=echo,
// modes=both|epp|spp,unplug=N,flaky=N,noisy=N,stuck=dB:V,short=dA:dB,access=NS,
// jitter=N:US" (the text after "sim:"), the counts decimal (flaky and noisy at
// least 1), A and B data lines from 0 to 7 (two different ones for short)
// and V its level 0 or 1, NS the nanoseconds a
// port access takes (1 to 1000000) and N:US a pause of US microseconds (1 to
// 1000000) on average every N port accesses (at least 1), loading the ROM and SRAM
// files. Keys may come in any order, each at most once; a path cannot hold a
// comma. Unnamed keys keep the defaults above; other=none is accepted too.
//
// The flash chip's defects, off unless given, need card=4, 16 or 64:
// badbyte=ADDR (a card address, decimal or 0x hex, whose cell never
// programs), erasefail=SECTOR (the 128 KiB sector whose erase fails; on the
// 4 Mbit card a page write there cannot erase), locked=SECTOR (16 Mbit:
// the sector is protected; 64 Mbit: the block's lock bit is set) and
// slow=1 (every program and erase takes the datasheet maximum).
//
// Two readings that no datasheet settles, for trying the write on both
// sides: advance82=1 (the X-Changer advances the address after each data
// cycle under ModeReg 0x82, as under 0x81) and loadtimer=command (card=16
// only: the chip's load timer starts at the page-program command, not at
// the first byte); advance82=0 and loadtimer=byte are the defaults.
//
// The ROM must be a regular file no larger than the card (8 MiB for a mask
// ROM, card=none); without rom= the X-Changer holds no cart. A program or
// erase that changes the flash card writes it back to the ROM file. The SRAM file
// must be a power of two from 2 KiB to 128 KiB. A missing SRAM file, or no
// sram= at all, gives 128 KiB of 0xFF; the file is created when the SRAM
// changes and is written back. Returns false with a message in error and
// leaves config unchanged.
bool ParseSimSpec(std::string_view keyValues, SimConfig& config, std::string& error);

}  // namespace velwin::xchanger::sim
