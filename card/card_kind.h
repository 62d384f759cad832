#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "xchanger/cart_access.h"
#include "xchanger/cart_access_diagnosis.h"
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
  // ROM bank 0's first 512 bytes as the header read gave them: what the cart
  // must still answer after a read, to be the same card.
  std::array<std::uint8_t, xchanger::kHeaderBlockSize> head{};
  std::string controller;  // a game cart's bank controller: "MBC5", "none", "MBC1", ...
  // Why this cart cannot be read whole, or empty: a controller that switches
  // banks another way, or a ROM size code no cart has.
  std::string refusal;

  std::uint64_t Bytes() const { return std::uint64_t{bankCount} * kRomBankBytes; }
};

struct CardIdentification {
  std::optional<CardIdentity> card;
  // Without a card: "No X-Changer found", "The X-Changer stopped answering.",
  // a held or shorted data line, or "No Cart found".
  std::string error;
};

// Finds the X-Changer and tells what is in it: a flash card by its chip's
// identification, else a game cart by the header of ROM bank 0. A cart that
// must not be read is still identified, with its refusal, so that it can be
// listed. When neither answers, the error says why (WhyNoCartFound): a
// dropped link and a held line are named before a slot read as empty.
CardIdentification IdentifyCard(xchanger::CartAccess& cart);

// "16 Mbit flash card", "game cart, MBC5, 1 MiB".
std::string CardDescription(const CardIdentity& card);

// The bank controller named by a header's cart type byte (0x147); "none"
// for a cart without one.
std::string ControllerName(std::uint8_t cartType);

// Whether the X-Changer's MBC5-style bank switching reads a cart with this
// cart type byte correctly: no controller, or an MBC5.
bool BanksSwitchTheMbc5Way(std::uint8_t cartType);

// Why the X-Changer and the cart no longer answer as they did when card was
// identified, or empty when they do: the chip must identify as the same card
// and, with sameHead, ROM bank 0 must start with the same 512 bytes (a job
// that wrote bank 0 asks without). A pulled cart or a dropped link reads as
// a bus nobody drives, which two reads agree on, so this is asked after
// every long read; a dropped link is named as such, never as a fault of the
// chip. Sends only identification sequences and reads: on a game cart
// those land on its bank controller's registers, none in the SRAM at
// 0xA000-0xBFFF, so checking the bus never changes a save.
std::string NoLongerAnswers(xchanger::CartAccess& cart, const CardIdentity& card, bool sameHead);

// The words for a link that dropped during a job.
using xchanger::kXChangerStoppedAnswering;

}  // namespace velwin::card
