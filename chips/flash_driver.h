#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "chips/flash_chip_table.h"
#include "port/chip_clock.h"
#include "port/page_load_priority.h"
#include "xchanger/cart_access.h"

namespace velwin::xchanger {

// What a program, erase or lock operation ended with, as the chip told it.
struct FlashOutcome {
  enum class Kind : std::uint8_t {
    kDone,
    kTimeout,        // the chip never signalled the end within twice its maximum
    kProgramFailed,  // status: program error
    kEraseFailed,    // status: erase error
    kBadSequence,    // status: both error bits (the chip did not take the command)
    kVoltageLow,     // Intel status: VPEN low, nothing may be written
    kLocked,         // an Intel block's lock bit, or a protected Macronix sector
  };
  Kind kind = Kind::kDone;
  std::uint8_t status = 0;  // the last status or data byte the chip answered
  // A program only: two bytes of the page load came further apart than the
  // chip's byte-load window, so the chip may have written part of the page
  // before the rest came. Loading the page again whole mends it.
  bool cut = false;
  bool Ok() const { return kind == Kind::kDone; }
};

// One family of flash chips, driven through the cart operations: the
// sequences that erase, program and reset it, and the wait for its own
// completion signal, bounded on the chip clock.
//
// Every byte goes out as its own flash write cycle with its address set
// (FlashPageLoad): nothing tells whether the X-Changer advances the address
// by itself in flash-write mode, so it is never relied on.
class FlashDriver {
 public:
  // Every family drives one chip on one cart, on the chip clock.
  FlashDriver(const FlashChipSpec& chip, CartAccess& cart, ChipClock& clock)
      : chip_(chip), cart_(cart), clock_(clock) {}
  virtual ~FlashDriver() = default;

  // Raised for the span of each page load; null (the default) for none.
  void SetPageLoadPriority(PageLoadPriority* priority) { priority_ = priority; }

  // Erases the erase unit that holds address. Families without a separate
  // erase are never asked.
  virtual FlashOutcome EraseUnit(std::uint32_t address) = 0;
  // Programs bytes from address on; they lie within one program unit.
  virtual FlashOutcome Program(std::uint32_t address, std::span<const std::uint8_t> bytes) = 0;
  // Whether the erase unit at address refuses writes (lock bit, protection).
  virtual bool UnitLocked(std::uint32_t address) = 0;
  // Clears every lock bit, where the chip has them; false when it cannot.
  virtual FlashOutcome UnlockAll() { return {}; }
  // Sets the lock bit of the unit at address again, where the chip has them.
  virtual FlashOutcome LockUnit(std::uint32_t address) {
    (void)address;
    return {};
  }
  // Before the array is read after a program or erase: chips that keep
  // answering their status are told to answer the array again.
  virtual void ReadArrayMode() {}
  // Back to read-array mode, whatever state an error left the chip in.
  virtual void ResetToReadArray() = 0;

 protected:
  const FlashChipSpec& chip_;
  CartAccess& cart_;
  ChipClock& clock_;
  PageLoadPriority* priority_ = nullptr;
};

// Whether a page load whose longest gap between two bytes was gapNs may
// have been cut by a chip whose window is windowUs (0: no window). The
// chips count whole microseconds, so a gap within a microsecond of the
// window counts as cut.
constexpr bool LoadCut(std::uint64_t gapNs, std::uint32_t windowUs) {
  return windowUs != 0 && gapNs + 1000 > std::uint64_t{windowUs} * 1000;
}

std::unique_ptr<FlashDriver> MakeFlashDriver(const FlashChipSpec& chip, CartAccess& cart,
                                             ChipClock& clock);

// The cart bus address at which a linear card address is seen once the
// bank registers hold its bank: bank 0 at 0x0000, every other bank through
// the window at 0x4000.
std::uint16_t WindowAddress(std::uint32_t linear);

// Reads bytes.size() bytes from linear address on, within one 16 KiB bank,
// with the ROM block read: bank registers once, then the X-Changer advances
// the address itself (ModeReg 0x81), as for any ROM read.
void ReadFlashRange(CartAccess& cart, std::uint32_t linear, std::span<std::uint8_t> bytes);

}  // namespace velwin::xchanger
