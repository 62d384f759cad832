#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "card/card_listing.h"
#include "chips/flash_chip_table.h"
#include "port/chip_clock.h"
#include "xchanger/cart_access.h"

namespace velwin::card {

// The question asked before a write changes the card, in the card's code
// page (Windows-1252, as the listing's titles are): which card, how much of
// it is overwritten, which of its games lie there, what becomes of a
// multi-game card's menu, and where the old contents go. backupFolder is
// empty when no backup is kept.
std::string WriteConfirmationText(const CardContents& contents, std::uint32_t cardBytes,
                                  const std::string& imageName, std::uint64_t imageBytes,
                                  const std::string& backupFolder);

// The titles of the games whose banks overlap a write of imageBytes from
// address 0, joined by ", "; empty when there are none. Only games whose
// place on the card is known take part (a VELTRA directory does not say
// where its games lie: see MenuLossText).
std::string OverwrittenGames(const CardContents& contents, std::uint64_t imageBytes);

// A multi-game card starts with its menu program and the directory or the
// header walk it finds its games by, in the first two banks: any write from
// address 0 replaces them, and the games behind them can no longer be
// started. "The card's menu is overwritten: its 8 games become unreachable.
// Its games: A, B, ..."; empty for a single game, a blank card or an empty
// write.
std::string MenuLossText(const CardContents& contents, std::uint64_t imageBytes);

// What the command line says before a write starts: the games it overwrites
// and what becomes of the menu, on one line; empty when the listing knows
// of nothing the write destroys.
std::string WriteLossLine(const CardContents& contents, std::uint64_t imageBytes);

// The blocks with their lock bit set among those a write of imageBytes from
// address 0 touches, on a chip whose lock bits the program can clear (the
// 64 Mbit card's); empty on every other chip. Sends the chip's query
// commands and leaves it in read-array mode; changes nothing on the card.
std::vector<std::uint32_t> LockedBlocksInRange(xchanger::CartAccess& cart,
                                               xchanger::ChipClock& clock,
                                               const xchanger::FlashChipSpec& chip,
                                               std::uint64_t imageBytes);

// The paragraph the question adds for locked blocks: which, and that
// agreeing clears the lock bits for this write.
std::string UnlockOfferText(const xchanger::FlashChipSpec& chip,
                            const std::vector<std::uint32_t>& lockedBlocks);

}  // namespace velwin::card
