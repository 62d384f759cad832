#pragma once

#include <cstdint>
#include <string>

#include "card/card_kind.h"
#include "card/job_progress.h"
#include "xchanger/cart_access.h"

namespace velwin::card {

struct VerifyResult {
  JobOutcome outcome;       // done when the compare ran to its end, equal or not
  std::uint64_t bytes = 0;  // the file's size: what was compared
  std::uint64_t banksDiffering = 0;
  std::uint64_t firstDifference = 0;  // byte offset, when banksDiffering > 0
  std::uint32_t firstDifferingBank = 0;

  bool Matches() const { return outcome.Ok() && banksDiffering == 0; }
};

// Compares the file at path with the card's first size-of-file bytes, each
// bank read twice as a card read does, so a difference found is the card's
// and not the link's. A file larger than the card, or an empty one, is
// refused before any bank is read. Opening or reading the file throws
// fileio::FileError.
VerifyResult VerifyCardWithFile(xchanger::CartAccess& cart, const CardIdentity& card,
                                const std::string& path, JobControl& control);

// "Card matches FILE (N bytes)." or "Card differs from FILE: first at
// 0x0123AB (bank 4), 3 banks differ."; empty for a verify that failed.
std::string VerifyResultText(const VerifyResult& result, const std::string& fileName);

}  // namespace velwin::card
