#include "card/card_kind.h"

#include <algorithm>
#include <cstdio>

namespace velwin::card {
namespace {

// The largest ROM size code: 32 KiB << 8 is 8 MiB, all an MBC5 addresses.
constexpr std::uint8_t kLargestRomSizeCode = 8;
constexpr std::uint32_t kBanksOfSmallestRom = 2;  // 32 KiB

struct ControllerRange {
  std::uint8_t first;
  std::uint8_t last;
  const char* name;
};

// The bank controller of each cart type byte of the Game Boy header.
constexpr ControllerRange kControllers[] = {
    {0x00, 0x00, "none"},          {0x01, 0x03, "MBC1"},  {0x05, 0x06, "MBC2"},
    {0x08, 0x09, "none"},          {0x0B, 0x0D, "MMM01"}, {0x0F, 0x13, "MBC3"},
    {0x19, 0x1E, "MBC5"},          {0x20, 0x20, "MBC6"},  {0x22, 0x22, "MBC7"},
    {0xFC, 0xFC, "Pocket Camera"}, {0xFD, 0xFD, "TAMA5"}, {0xFE, 0xFE, "HuC3"},
    {0xFF, 0xFF, "HuC1"},
};

std::string Hex2(std::uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::string SizeText(std::uint64_t bytes) {
  constexpr std::uint64_t kMiB = 1024 * 1024;
  if (bytes >= kMiB && bytes % kMiB == 0)
    return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes / 1024) + " KiB";
}

// A game cart is read by its header: the size its ROM size code declares,
// through bank registers it must understand the MBC5 way.
void SizeGameCart(CardIdentity& card) {
  const std::uint8_t type = card.header.CartType;
  const std::uint8_t code = card.header.RomSize;
  card.controller = ControllerName(type);
  if (code <= kLargestRomSizeCode)
    card.bankCount = kBanksOfSmallestRom << code;
  if (!BanksSwitchTheMbc5Way(type)) {
    const std::string who = card.controller.starts_with("cart type")
                                ? "Cart with unknown controller (" + card.controller + ")"
                                : card.controller + " cart";
    card.refusal =
        who + ": the X-Changer switches banks the MBC5 way, so this cart cannot be read.";
  } else if (code > kLargestRomSizeCode) {
    card.refusal = "ROM size code " + Hex2(code) +
                   " in the cart header is no size a cart has, so this cart cannot be read.";
  } else if (card.controller == "none" && code != 0) {
    // Without a controller only the first two banks are on the bus; a larger
    // size would read bank 1 over and over.
    card.refusal = "ROM size code " + Hex2(code) +
                   " needs a bank controller, but the cart header names none, so this cart "
                   "cannot be read.";
  }
}

}  // namespace

std::string ControllerName(std::uint8_t cartType) {
  for (const ControllerRange& range : kControllers) {
    if (cartType >= range.first && cartType <= range.last)
      return range.name;
  }
  return "cart type " + Hex2(cartType);
}

bool BanksSwitchTheMbc5Way(std::uint8_t cartType) {
  const std::string name = ControllerName(cartType);
  return name == "none" || name == "MBC5";
}

CardIdentification IdentifyCard(xchanger::CartAccess& cart) {
  if (!cart.Link().FindXChanger())
    return {std::nullopt, "No X-Changer found"};
  CardIdentity card;
  card.flashMbit = cart.IdentifyFlashCard();
  cart.ReadCartHeader(0, card.header);
  std::copy_n(cart.TransferBuffer().begin(), card.head.size(), card.head.begin());
  card.headerValid = xchanger::CartAccess::CartHeaderValid(card.header);
  if (card.flashMbit != 0) {
    // A flash card is read whole, whatever its header says; a blank one has
    // none at all.
    card.kind = CardKind::kFlashCard;
    card.bankCount = cart.CardBankCount();
    return {card, {}};
  }
  if (!card.headerValid)
    return {std::nullopt, xchanger::WhyNoCartFound(cart, card.head)};
  card.kind = CardKind::kGameCart;
  SizeGameCart(card);
  return {card, {}};
}

std::string CardDescription(const CardIdentity& card) {
  if (card.kind == CardKind::kFlashCard)
    return std::to_string(card.flashMbit) + " Mbit flash card";
  const std::string controller =
      card.controller == "none" ? std::string("no controller") : card.controller;
  const std::string size =
      card.bankCount != 0 ? SizeText(card.Bytes()) : "ROM size code " + Hex2(card.header.RomSize);
  return "game cart, " + controller + ", " + size;
}

std::string NoLongerAnswers(xchanger::CartAccess& cart, const CardIdentity& card, bool sameHead) {
  bool same = cart.IdentifyFlashCard() == card.flashMbit;
  if (same && sameHead) {
    xchanger::CartHeader header;
    cart.ReadCartHeader(0, header);
    same = std::equal(card.head.begin(), card.head.end(), cart.TransferBuffer().begin());
  }
  if (same)
    return {};
  // The X-Changer's own registers echo what is written to them, with or
  // without a cart: a search that finds none tells a dropped link.
  if (!cart.Link().FindXChanger())
    return kXChangerStoppedAnswering;
  return "The cart no longer answers as the same card: was it moved or pulled out?";
}

}  // namespace velwin::card
