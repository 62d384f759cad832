#pragma once

#include <string_view>

namespace velwin::sramman {

// Whether a status log message says that something failed or was refused,
// was cancelled or found the card different, rather than what was found or
// done: the window shows those lines so that they stand out. Told from the
// message's own words, which every part of the SRAM manager and the card
// jobs writes in its own place.
bool IsFailureMessage(std::string_view message);

}  // namespace velwin::sramman
