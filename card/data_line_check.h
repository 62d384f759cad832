#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "card/card_kind.h"

namespace velwin::card {

// Tells a dirty or broken cart connector by what came over the 8 data lines.
// A line held at one level, or two lines shorted together, read the same
// wrong bits every time, so reading every bank twice cannot see them; but
// over a whole job each line of a sound bus shows up at 0 and at 1, and no
// two lines carry the same bit in every byte.
//
// What proves a line: the bytes the job read, and the chip's own answers
// that the identification matched exactly (its manufacturer and device codes,
// the CFI query letters, the header logo), since a wrong line would have
// failed that match.
class DataLineCheck {
 public:
  // Bytes read from the card's memory.
  void SeeData(std::span<const std::uint8_t> bytes);
  // The answers the identification of card matched.
  void SeeKnownAnswers(const CardIdentity& card);

  // "Data line D3 always reads 0: clean the cart's contacts and try again."
  // for the first line found wrong, empty when the lines look sound. Data
  // that is one fill but for one line (0xDF throughout: erased flash with
  // D5 held at 0) names that line, not another that merely never moved.
  //
  // A card whose data read 0xFF throughout is blank (erased flash), one that
  // read 0x00 throughout is programmed over: neither holds a game, so there
  // is nothing to lose, and a line stuck at that fill's own level cannot
  // change what such a card reads. So on a card read as 0xFF a line seen
  // only at 1 is not held against it, on one read as 0x00 a line seen only
  // at 0, and on a card read only as 0x00 and 0xFF two lines seen alike. That
  // leaves unchecked there what the identification codes do not show: on a
  // blank 16 Mbit card D6 and D7 at 0, and the pairs D0/D4/D5, D2/D3 and
  // D6/D7; on a blank 4 Mbit card D1 and D6 at 0, and the pairs D0/D5,
  // D1/D6 and D3/D4/D7. (The 64 Mbit card's codes and CFI letters show every
  // line at 0 and tell every pair apart.) A line stuck at the other level
  // shows in the fill bytes themselves and is always found. A write onto
  // such a card finds a line the check left open in its read-back of each
  // programmed page, before a second erase.
  std::string Fault() const;

 private:
  std::string FillFault() const;

  std::array<bool, 256> seen_{};
  std::array<bool, 256> seenInData_{};
};

}  // namespace velwin::card
