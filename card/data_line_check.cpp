#include "card/data_line_check.h"

#include <vector>

#include "chips/flash_chip_table.h"
#include "xchanger/cart_access_diagnosis.h"

namespace velwin::card {
namespace {

// The 64 Mbit card's identification matched its CFI query letters as well.
constexpr std::uint8_t kCfiQueryLetters[] = {'Q', 'R', 'Y'};

}  // namespace

void DataLineCheck::SeeData(std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t byte : bytes)
    seenInData_[byte] = true;
}

void DataLineCheck::SeeKnownAnswers(const CardIdentity& card) {
  // The codes the card's identification matched, from the chip table.
  const xchanger::FlashChipSpec* chip =
      card.kind == CardKind::kFlashCard ? xchanger::FlashChipForCard(card.flashMbit) : nullptr;
  if (chip != nullptr) {
    seen_[chip->manufacturer] = true;
    seen_[chip->device] = true;
    if (chip->family == xchanger::FlashFamily::kIntelBlockFlash) {
      for (const std::uint8_t letter : kCfiQueryLetters)
        seen_[letter] = true;
    }
  }
  if (card.headerValid) {
    for (const std::uint8_t byte : card.header.Logo)
      seen_[byte] = true;
  }
}

// A card of one fill read through a held line: every byte its fill, 0xFF or
// 0x00, with that line at the other level. The identification matched the
// chip's codes exactly, so the line must read them right too. Naming the
// line of the fill beats naming a line that merely never moved: on an
// erased card with D5 held at 0, D1 never reads 0 either (neither the fill
// nor the 4 Mbit chip's codes have it there), but it is D5 that is wrong.
std::string DataLineCheck::FillFault() const {
  std::vector<xchanger::DataLineFault> found;
  bool altered = false;
  for (unsigned value = 0; value < 256; ++value)
    altered = altered || (seenInData_[value] && value != 0x00 && value != 0xFF);
  if (!altered)
    return {};
  for (std::uint8_t line = 0; line < 8; ++line) {
    for (const bool high : {false, true}) {
      const xchanger::DataLineFault fault{false, line, 0, high};
      bool fits = true;
      for (unsigned value = 0; value < 256 && fits; ++value) {
        const auto byte = static_cast<std::uint8_t>(value);
        if (seenInData_[value])
          fits = fault.Explains(0xFF, byte) || fault.Explains(0x00, byte);
        if (seen_[value])
          fits = fits && fault.Explains(byte, byte);
      }
      if (fits)
        found.push_back(fault);
    }
  }
  return xchanger::FaultText(found);
}

std::string DataLineCheck::Fault() const {
  if (std::string fill = FillFault(); !fill.empty())
    return fill;
  unsigned atOne = 0;   // lines seen at 1
  unsigned atZero = 0;  // lines seen at 0
  bool onlyFills = true;
  for (unsigned value = 0; value < 256; ++value) {
    if (seenInData_[value] && value != 0x00 && value != 0xFF)
      onlyFills = false;
    if (seen_[value] || seenInData_[value]) {
      atOne |= value;
      atZero |= ~value & 0xFFu;
    }
  }
  const bool readAllOnes = onlyFills && seenInData_[0xFF] && !seenInData_[0x00];
  const bool readAllZeros = onlyFills && seenInData_[0x00] && !seenInData_[0xFF];
  // Without data, nothing is forgiven.
  onlyFills = onlyFills && (seenInData_[0x00] || seenInData_[0xFF]);
  for (int line = 0; line < 8; ++line) {
    const unsigned bit = 1u << line;
    if ((atOne & bit) == 0 && !readAllZeros)
      return xchanger::HeldLineText(line, false);
    if ((atZero & bit) == 0 && !readAllOnes)
      return xchanger::HeldLineText(line, true);
  }
  if (onlyFills)
    return {};
  // Two lines shorted together carry one level: they differ in no byte.
  for (int a = 0; a < 8; ++a) {
    for (int b = a + 1; b < 8; ++b) {
      bool differ = false;
      for (unsigned value = 0; value < 256 && !differ; ++value) {
        differ = (seen_[value] || seenInData_[value]) && (((value >> a) ^ (value >> b)) & 1u) != 0;
      }
      if (!differ)
        return xchanger::ShortedLinesText(a, b);
    }
  }
  return {};
}

}  // namespace velwin::card
