#include "sram/cart_analysis.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cart/cart_family.h"
#include "cart/sram_size_text.h"
#include "xchanger/cart_access_diagnosis.h"

namespace velwin::sramman {

// The cart-family rules and size texts are the core's, shared with the card jobs.
using namespace velwin::cart;

namespace {

using xchanger::CartHeader;

// The SRAM banks the transfers reach; games past them are marked.
constexpr int kReachableSramBanks = 16;
constexpr int kLastSramBankNumber = 255;

constexpr std::size_t kGridRowsMax = SramGameTable{}.size();

// Leading and trailing blanks and control bytes dropped; bytes above 127 are
// characters of the code page and stay.
std::string TrimmedTitle(const std::string& title) {
  const auto isFiller = [](char c) { return static_cast<unsigned char>(c) < 33; };
  std::size_t begin = 0;
  std::size_t end = title.size();
  while (begin < end && isFiller(title[begin]))
    ++begin;
  while (end > begin && isFiller(title[end - 1]))
    --end;
  return title.substr(begin, end - begin);
}

}  // namespace

CartAnalysis::CartAnalysis(xchanger::CartAccess& cart, xchanger::EventPump& pump, SramView& view,
                           CartListing& listing)
    : cart_(cart),
      pump_(pump),
      view_(view),
      table_(listing.table),
      listed_(listing.listed),
      cartFound_(listing.cartFound) {}

void CartAnalysis::AddGridRow() {
  view_.SetRowCount(view_.RowCount() + 1);
}

// The grid keeps one row whatever is asked, so this ends with one row per
// listed game, or one empty row.
void CartAnalysis::RemoveGridRow() {
  view_.SetRowCount(view_.RowCount() - 1);
}

void CartAnalysis::AnalyseCart() {
  view_.ClearLog();
  view_.SetRowCount(0);
  view_.SetCell(0, 0, "");
  view_.SetCell(1, 0, "");
  listed_ = false;
  cartFound_ = false;

  if (!cart_.Link().FindXChanger()) {
    view_.LogStatus("No X-Changer found");
    return;
  }
  table_.fill(SramGameEntry{});
  cart_.IdentifyFlashCard();

  CartHeader header;
  cart_.ReadCartHeader(0, header);
  const auto& buffer = cart_.TransferBuffer();
  std::array<std::uint8_t, xchanger::kHeaderBlockSize> head{};
  std::copy_n(buffer.begin(), head.size(), head.begin());
  if (!xchanger::CartAccess::CartHeaderValid(header)) {
    // A dropped link and a held data line are named before a slot that
    // reads as empty.
    view_.LogStatus(xchanger::WhyNoCartFound(cart_, head));
    return;
  }
  // The decision rests on a second reading of the header; one that differs
  // from the first is a cart that stopped answering, not another cart.
  cart_.ReadCartHeader(0, header);
  if (!CartStillAnswers(head))
    return;
  cartFound_ = true;
  switch (FamilyOf(header)) {
    case CartFamily::kMenuCard:
      ScanMenuCard();
      break;
    case CartFamily::kGbpackCard:
      ScanGbpackCard();
      break;
    case CartFamily::kSingleCart:
      AnalyseSingleCart(header);
      break;
  }
  // What was listed holds only when the cart still answers as it did at
  // the start.
  cart_.ReadCartHeader(0, header);
  if (CartStillAnswers(head))
    return;
  listed_ = false;
  cartFound_ = false;
  view_.SetRowCount(0);
  view_.SetCell(0, 0, "");
  view_.SetCell(1, 0, "");
}

// Whether the header just read repeats the first 512 bytes of ROM bank 0
// as the analysis found them; logs why not. A link that drops reads 0xFF
// throughout, which would list a cart titled with "ÿ" bytes.
bool CartAnalysis::CartStillAnswers(std::span<const std::uint8_t> head) {
  const auto& buffer = cart_.TransferBuffer();
  if (std::equal(head.begin(), head.end(), buffer.begin()))
    return true;
  view_.LogStatus(cart_.Link().FindXChanger()
                      ? "The cart no longer answers as it did: was it moved or pulled out?"
                      : xchanger::kXChangerStoppedAnswering);
  return false;
}

void CartAnalysis::AnalyseSingleCart(const CartHeader& header) {
  if (StartsWith(header.Title, kCameraTitle)) {
    // The camera's header does not tell its 128 KB of SRAM reliably.
    view_.LogStatus("Gameboy Pocket Camera found.");
    view_.SetRowCount(1);
    view_.SetCell(0, 0, "Gameboy Camera");
    view_.SetCell(1, 0, "1024 k");
    table_[0] = SramGameEntry{kSram1024k, 0};
    listed_ = true;
    return;
  }

  view_.LogStatus("Cart \"" + TrimmedTitle(header.Title) + "\" found.");
  view_.SetRowCount(1);
  if (header.RamSize != 0) {
    view_.SetCell(0, 0, header.Title);
    view_.SetCell(1, 0, SramSizeText(header.RamSize));
    listed_ = true;
  } else {
    view_.LogStatus("Cart has no SRAM.");
  }

  std::uint8_t kind = kNoSram;
  switch (header.RamSize) {
    case 1:
    case 2:
      kind = kSram64k;
      break;
    case 3:
      kind = kSram256k;
      break;
    case 4:
      kind = kSram1024k;
      break;
    default:
      break;
  }
  table_[0] = SramGameEntry{kind, 0};
}

void CartAnalysis::ScanGbpackCard() {
  view_.LogStatus("GBPACK - cart found.");

  std::uint16_t bank = kGbpackFirstGameBank;
  std::size_t row = 0;
  // Counted wide so that it can tell when the card runs out of SRAM bank
  // numbers; an 8-bit counter would wrap and hand bank 0 out again.
  int nextSramBank = 0;
  CartHeader header;
  for (;;) {
    pump_.ProcessEvents();
    cart_.ReadCartHeader(bank, header);
    if (!xchanger::CartAccess::CartHeaderValid(header))
      break;

    const std::uint8_t ramSize = header.RamSize;
    if (ramSize >= 1 && ramSize <= 3 && row < kGridRowsMax) {
      const bool oneBank = ramSize != 3;
      const int bankCount = oneBank ? 1 : 4;
      const bool outOfReach = oneBank ? nextSramBank >= kReachableSramBanks
                                      : nextSramBank + bankCount >= kReachableSramBanks;
      AddGridRow();
      const int gridRow = static_cast<int>(row);
      view_.SetCell(0, gridRow, outOfReach ? "! " + header.Title : header.Title);
      view_.SetCell(1, gridRow, SramSizeText(ramSize));
      // Past bank 255 the entry keeps bank 255: the capacity rule refuses
      // such a game, so it can never alias a game at the start of the card.
      const int firstBank = nextSramBank < kLastSramBankNumber ? nextSramBank : kLastSramBankNumber;
      table_[row] =
          SramGameEntry{oneBank ? kSram64k : kSram256k, static_cast<std::uint8_t>(firstBank)};
      nextSramBank += bankCount;
      ++row;
    }

    // A ROM size code above 14 (the odd 1.1 to 1.5 MB codes among them)
    // gives no step that fits the bank number; nothing behind such a game
    // can be found.
    if (header.RomSize > kLargestSteppableRomSize)
      break;
    bank = static_cast<std::uint16_t>(bank + (2u << header.RomSize));
    if (static_cast<std::int32_t>(bank) > static_cast<std::int32_t>(cart_.CardBankCount()) - 1) {
      break;
    }
  }

  if (row == 0) {
    view_.LogStatus("No SRAM-Games found.");
    listed_ = false;
  } else {
    listed_ = true;
  }
  RemoveGridRow();
}

void CartAnalysis::ScanMenuCard() {
  view_.LogStatus("VELTRA - cart found.");
  cart_.ReadMenuDirectory(kMenuDirectoryBank);
  const auto& directory = cart_.TransferBuffer();

  const std::size_t entries = directory[0];
  if (entries == 0) {
    view_.LogStatus("No ROMs found");
  } else {
    int row = 0;
    for (std::size_t k = 0; k < entries; ++k) {
      const std::uint8_t* entry = directory.data() + 1 + kMenuEntrySize * k;
      if (entry[kMenuMarkerOffset] != kMenuUsesSram)
        continue;
      const std::uint8_t sramByte = entry[kMenuSramOffset];
      AddGridRow();
      view_.SetCell(0, row, MenuEntryName(entry));
      view_.SetCell(1, row, MenuSramSizeText(sramByte));
      table_[static_cast<std::size_t>(row)] = SramGameEntry{
          (sramByte >> 4) == 3 ? kSram256k : kSram64k, static_cast<std::uint8_t>(sramByte & 0x0F)};
      ++row;
    }
    if (row == 0) {
      view_.LogStatus("No SRAM-Games found.");
    } else {
      listed_ = true;
    }
  }
  RemoveGridRow();
}

}  // namespace velwin::sramman
