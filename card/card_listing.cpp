#include "card/card_listing.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <span>

#include "card/data_line_check.h"
#include "cart/cart_family.h"
#include "cart/sram_size_text.h"

namespace velwin::card {
namespace {

using cart::CartFamily;

constexpr std::uint8_t kLargestRomSizeCode = 8;

std::string WithoutTrailingBlanks(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
    text.pop_back();
  return text;
}

std::optional<std::uint32_t> BanksOfSizeCode(std::uint8_t code) {
  if (code > kLargestRomSizeCode)
    return std::nullopt;
  return 2u << code;
}

// The header RAM size codes the transfers know; other codes show as the
// grid shows them, "?".
std::string SramOfHeader(std::uint8_t ramSize) {
  return ramSize == 0 ? std::string() : cart::SramSizeText(ramSize);
}

// Where a listing reads its banks from: the cart in the X-Changer, or an
// image of a card in memory, by the same rules.
struct BankSource {
  // The whole 16 KiB of a ROM bank.
  std::function<std::span<const std::uint8_t>(std::uint16_t bank)> bank;
  std::function<void(std::uint16_t bank, xchanger::CartHeader& header)> header;
};

BankSource CartSource(xchanger::CartAccess& cart) {
  return {[&cart](std::uint16_t bank) {
            cart.ReadMenuDirectory(bank);
            return std::span<const std::uint8_t>(cart.TransferBuffer()).first(kRomBankBytes);
          },
          [&cart](std::uint16_t bank, xchanger::CartHeader& header) {
            cart.ReadCartHeader(bank, header);
          }};
}

// An image's bank; past its end the card reads as erased flash.
BankSource ImageSource(std::span<const std::uint8_t> image, std::vector<std::uint8_t>& scratch) {
  const auto bank = [image, &scratch](std::uint16_t number) {
    scratch.assign(kRomBankBytes, 0xFF);
    const std::size_t offset = std::size_t{number} * kRomBankBytes;
    if (offset < image.size()) {
      const std::size_t count = std::min<std::size_t>(kRomBankBytes, image.size() - offset);
      std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), count, scratch.begin());
    }
    return std::span<const std::uint8_t>(scratch);
  };
  return {bank, [bank](std::uint16_t number, xchanger::CartHeader& header) {
            header = xchanger::BuildCartHeader(bank(number).first<xchanger::kHeaderBlockSize>());
          }};
}

void ListMenuCard(const BankSource& source, CardContents& contents) {
  contents.layout = "VELTRA card";
  const std::span<const std::uint8_t> directory = source.bank(cart::kMenuDirectoryBank);
  const std::size_t entries = directory[0];
  for (std::size_t k = 0; k < entries; ++k) {
    const std::uint8_t* entry = directory.data() + 1 + cart::kMenuEntrySize * k;
    ListedGame game;
    game.title = WithoutTrailingBlanks(cart::MenuEntryName(entry));
    if (entry[cart::kMenuMarkerOffset] == cart::kMenuUsesSram) {
      const std::uint8_t sramByte = entry[cart::kMenuSramOffset];
      game.sramSize = cart::MenuSramSizeText(sramByte);
      game.firstSramBank = static_cast<std::uint8_t>(sramByte & 0x0F);
    }
    contents.games.push_back(std::move(game));
  }
}

// Walks the headers from bank 2 on, each game stepped over by its ROM size,
// until a bank without a header or the end of the card.
void ListGbpackCard(const BankSource& source, const CardIdentity& card, xchanger::EventPump& pump,
                    CardContents& contents) {
  contents.layout = "GBPACK card";
  std::uint32_t bank = cart::kGbpackFirstGameBank;
  xchanger::CartHeader header;
  for (;;) {
    pump.ProcessEvents();
    source.header(static_cast<std::uint16_t>(bank), header);
    if (!xchanger::CartAccess::CartHeaderValid(header))
      break;
    ListedGame game;
    game.title = WithoutTrailingBlanks(header.Title);
    game.firstRomBank = bank;
    game.sramSize = SramOfHeader(header.RamSize);
    if (header.RomSize > cart::kLargestSteppableRomSize) {
      contents.games.push_back(std::move(game));
      break;  // no step over this game fits a bank number
    }
    game.romBanks = 2u << header.RomSize;
    contents.games.push_back(std::move(game));
    bank += 2u << header.RomSize;
    if (static_cast<std::int64_t>(bank) > static_cast<std::int64_t>(card.bankCount) - 1)
      break;
  }
}

void ListSingleCart(const CardIdentity& card, CardContents& contents) {
  ListedGame game;
  game.title = WithoutTrailingBlanks(card.header.Title);
  game.firstRomBank = 0;
  game.romBanks = BanksOfSizeCode(card.header.RomSize);
  if (cart::StartsWith(card.header.Title, cart::kCameraTitle)) {
    // The camera's header does not tell its 128 KB of SRAM reliably.
    contents.layout = "Game Boy Camera";
    game.sramSize = "1024 k";
    game.firstSramBank = 0;
  } else {
    contents.layout = "single cart";
    game.sramSize = SramOfHeader(card.header.RamSize);
    if (!game.sramSize.empty())
      game.firstSramBank = 0;
  }
  contents.games.push_back(std::move(game));
}

CardContents ListWith(const BankSource& source, const CardIdentity& card,
                      xchanger::EventPump& pump) {
  CardContents contents;
  contents.description = CardDescription(card);
  if (!card.headerValid) {
    contents.layout = "no header";
    return contents;
  }
  switch (cart::FamilyOf(card.header)) {
    case CartFamily::kMenuCard:
      ListMenuCard(source, contents);
      break;
    case CartFamily::kGbpackCard:
      ListGbpackCard(source, card, pump, contents);
      break;
    case CartFamily::kSingleCart:
      ListSingleCart(card, contents);
      break;
  }
  return contents;
}

}  // namespace

CardContents ListCard(xchanger::CartAccess& cart, const CardIdentity& card,
                      xchanger::EventPump& pump) {
  return ListWith(CartSource(cart), card, pump);
}

std::string ListingFault(xchanger::CartAccess& cart, const CardIdentity& card) {
  if (std::string gone = NoLongerAnswers(cart, card, true); !gone.empty())
    return gone;
  DataLineCheck lines;
  lines.SeeKnownAnswers(card);
  lines.SeeData(card.head);
  return lines.Fault();
}

CardContents ListImage(std::span<const std::uint8_t> image, std::uint8_t flashMbit) {
  CardIdentity card;
  card.kind = CardKind::kFlashCard;
  card.flashMbit = flashMbit;
  card.bankCount = static_cast<std::uint32_t>(image.size() / kRomBankBytes);
  std::vector<std::uint8_t> scratch;
  const BankSource source = ImageSource(image, scratch);
  source.header(0, card.header);
  card.headerValid = xchanger::CartAccess::CartHeaderValid(card.header);
  xchanger::NoEventPump pump;
  CardContents contents = ListWith(source, card, pump);
  if (flashMbit == 0)
    contents.description = "image of " + std::to_string(image.size()) + " bytes";
  return contents;
}

}  // namespace velwin::card
