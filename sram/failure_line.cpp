#include "sram/failure_line.h"

#include <algorithm>
#include <array>

namespace velwin::sramman {
namespace {

// How failure messages begin.
constexpr std::array<std::string_view, 19> kFailureOpenings = {
    "No X-Changer found",
    "The X-Changer stopped answering",
    "Data line",
    "A data line",
    "No Cart found",
    "No flash card identified",
    "IO-Error",
    "File too small",
    "Not enough SRAM",
    "SRAM size of selected game unknown",
    "Cancelled",
    "Read unstable",
    "Verify failed",
    "Cart no longer answers",
    "Cannot",
    "Backup not written",
    "Card differs",
    "Chip refused",
    "Programming voltage too low",
};

// Words that only failure messages use, wherever they stand: a file error
// after a file's name, a chip's refusal after the unit it names.
constexpr std::array<std::string_view, 17> kFailureWords = {
    " failed",
    " timed out",
    " not available",
    " is locked",
    " is protected",
    "File not found",
    "File access denied",
    "Disk full",
    "I/O error",
    "nothing written",
    "Nothing was",
    "Nothing written",
    " not kept",
    "no longer answers",
    "could not be opened",
    " not written",
    "can only be written",
};

}  // namespace

bool IsFailureMessage(std::string_view message) {
  const auto opens = [message](std::string_view opening) { return message.starts_with(opening); };
  const auto holds = [message](std::string_view words) {
    return message.find(words) != std::string_view::npos;
  };
  return std::any_of(kFailureOpenings.begin(), kFailureOpenings.end(), opens) ||
         std::any_of(kFailureWords.begin(), kFailureWords.end(), holds);
}

}  // namespace velwin::sramman
