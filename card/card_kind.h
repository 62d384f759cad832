#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "xchanger/cart_access.h"
#include "xchanger/cart_header.h"

namespace velwin::card {

inline constexpr std::uint32_t kRomBankBytes = 16384;

enum class CardKind : std::uint8_t {
  kFlashCard,  // one of the three flash cards, told by its chip
  kGameCart,   // anything else with a valid header, read by that header
};

// What is in the X-Changer and how much of it there is to read.
struct CardIdentity {
  CardKind kind = CardKind::kGameCart;
  std::uint8_t flashMbit = 0;   // 4, 16 or 64 on a flash card
  std::uint32_t bankCount = 0;  // 16 KiB ROM banks; 0 when the size is unknown
  xchanger::CartHeader header;  // ROM bank 0's, as read when identifying
  bool headerValid = false;     // a blank flash card has none
  std::string controller;       // a game cart's bank controller: "MBC5", "none", "MBC1", ...
  // Why this cart cannot be read whole, or empty: a controller that switches
  // banks another way, or a ROM size code no cart has.
  std::string refusal;

  std::uint64_t Bytes() const { return std::uint64_t{bankCount} * kRomBankBytes; }
};

struct CardIdentification {
  std::optional<CardIdentity> card;
  std::string error;  // "No X-Changer found" or "No Cart found" when there is no card
};

// Finds the X-Changer and tells what is in it: a flash card by its chip's
// identification, else a game cart by the header of ROM bank 0. A cart that
// must not be read is still identified, with its refusal, so that it can be
// listed.
CardIdentification IdentifyCard(xchanger::CartAccess& cart);

// "16 Mbit flash card", "game cart, MBC5, 1 MiB".
std::string CardDescription(const CardIdentity& card);

// The bank controller named by a header's cart type byte (0x147); "none"
// for a cart without one.
std::string ControllerName(std::uint8_t cartType);

// Whether the X-Changer's MBC5-style bank switching reads a cart with this
// cart type byte correctly: no controller, or an MBC5.
bool BanksSwitchTheMbc5Way(std::uint8_t cartType);

// The cart still answers when ROM bank 0 still carries the header logo it
// had, or, on a flash card without a header, when its chip still identifies
// as the same card. A cart pulled out reads as a bus nobody drives.
bool CartStillAnswers(xchanger::CartAccess& cart, const CardIdentity& card);

}  // namespace velwin::card
