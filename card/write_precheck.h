#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "card/card_kind.h"
#include "card/write_confirmation.h"
#include "chips/flash_chip_table.h"
#include "port/chip_clock.h"
#include "port/port_io.h"
#include "xchanger/cart_access.h"

namespace velwin::card {

// What the card's identification and its chip's lock bits already tell
// about a write, found before anything is read for the backup and before
// anyone is asked: the card, its chip, and the locked blocks the image
// would change, or why the write cannot be done at all.
struct WriteCheck {
  std::optional<CardIdentity> card;               // set once something was identified
  const xchanger::FlashChipSpec* chip = nullptr;  // set for a card that can be written
  // Blocks whose lock bit is set and whose bytes differ from the image:
  // only a chip whose lock bits the program can clear gets this far with
  // any (the 64 Mbit card's); the caller decides whether to clear them.
  std::vector<std::uint32_t> lockedUnits;
  std::string refusal;  // empty when the write may go on, locked blocks aside
};

// Identifies the card and refuses what no answer to a question could make
// possible: no card, a game cart, an image empty or larger than the card,
// a protected sector or locked boot block the image would change. Reads
// the locked units only, once each, to tell whether the image changes
// them; a refusal over a lock is checked against a dropped link first, and
// a lock read over data lines not proven sound is left to the job.
// Leaves the chip in read-array mode; changes nothing on the card.
WriteCheck CheckWrite(xchanger::CartAccess& cart, xchanger::ChipClock& clock,
                      std::span<const std::uint8_t> image);

// What the question says about a write that CheckWrite let through: the
// card and the image listed, and the time the write should take, over the
// link as timed now (a few milliseconds of register writes that reach no
// cart). backup: whether the job keeps a backup; imageIsBackup: whether the
// image is one (a restore).
struct WritePreview {
  WriteSubject subject;
  std::string timeText;
};
WritePreview PreviewWrite(xchanger::CartAccess& cart, xchanger::ChipClock& clock,
                          const WriteCheck& check, std::span<const std::uint8_t> image, bool backup,
                          bool imageIsBackup, xchanger::EventPump& pump);

// "Cannot write block 1 (0x020000-0x03FFFF): it is locked. Nothing was
// erased; --unlock clears the lock bits.", howToUnlock naming the way.
std::string LockedUnitRefusal(const xchanger::FlashChipSpec& chip, std::uint32_t unit,
                              std::string_view howToUnlock);

}  // namespace velwin::card
