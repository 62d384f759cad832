#pragma once

#include <cstdint>
#include <string>

#include "card/card_listing.h"

namespace velwin::card {

// The question asked before a write changes the card, in the card's code
// page (Windows-1252, as the listing's titles are): which card, how much of
// it is overwritten, which of its games lie there, and where the old
// contents go. backupFolder is empty when no backup is kept.
std::string WriteConfirmationText(const CardContents& contents, std::uint32_t cardBytes,
                                  const std::string& imageName, std::uint64_t imageBytes,
                                  const std::string& backupFolder);

}  // namespace velwin::card
