#include "card/data_line_check.h"

#include "chips/flash_chip_table.h"

namespace velwin::card {
namespace {

constexpr const char* kCleanContacts = ": clean the cart's contacts and try again.";

// The 64 Mbit card's identification matched its CFI query letters as well.
constexpr std::uint8_t kCfiQueryLetters[] = {'Q', 'R', 'Y'};

std::string Line(int line) {
  return "D" + std::to_string(line);
}

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

std::string DataLineCheck::Fault() const {
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
      return "Data line " + Line(line) + " always reads 0" + kCleanContacts;
    if ((atZero & bit) == 0 && !readAllOnes)
      return "Data line " + Line(line) + " always reads 1" + kCleanContacts;
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
      if (!differ) {
        return "Data lines " + Line(a) + " and " + Line(b) + " always read alike" + kCleanContacts;
      }
    }
  }
  return {};
}

}  // namespace velwin::card
