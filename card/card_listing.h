#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "card/card_kind.h"
#include "port/port_io.h"
#include "xchanger/cart_access.h"

namespace velwin::card {

// One game on a card. Text is in the card's code page (Windows-1252).
struct ListedGame {
  std::string title;  // trailing blanks dropped
  std::optional<std::uint32_t> firstRomBank;
  std::optional<std::uint32_t> romBanks;  // 16 KiB banks
  std::string sramSize;                   // "64 k", "256 k", ...; empty without SRAM
  std::optional<std::uint8_t> firstSramBank;
};

struct CardContents {
  std::string description;  // CardDescription of the card
  std::string layout;       // "VELTRA card", "GBPACK card", "Game Boy Camera", "single cart"
                            // or "no header"
  std::vector<ListedGame> games;
};

// Every game on the card, with the rules "Analyse Cart" reads the directory
// and walks the headers by, but games without saves listed too. The pump is
// run once per header read of the GBPACK walk, as the analysis does.
CardContents ListCard(xchanger::CartAccess& cart, const CardIdentity& card,
                      xchanger::EventPump& pump);

// Why a listing of card just made is not to be trusted, or empty: the cart
// must still answer as the same card, and the data lines must have shown
// themselves sound in the chip's known answers and the start of ROM bank 0
// (DataLineCheck).
std::string ListingFault(xchanger::CartAccess& cart, const CardIdentity& card);

// The games in an image of a flash card of flashMbit (a backup), by the
// same rules; banks past the image's end read as erased flash. A flashMbit
// of 0 describes the image by its size.
CardContents ListImage(std::span<const std::uint8_t> image, std::uint8_t flashMbit);

}  // namespace velwin::card
