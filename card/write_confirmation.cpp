#include "card/write_confirmation.h"

#include "card/card_kind.h"
#include "card/card_write_job.h"

namespace velwin::card {

std::string WriteConfirmationText(const CardContents& contents, std::uint32_t cardBytes,
                                  const std::string& imageName, std::uint64_t imageBytes,
                                  const std::string& backupFolder) {
  const auto end = static_cast<std::uint32_t>(imageBytes);
  std::string text = "Write " + imageName + " (" + std::to_string(imageBytes) +
                     " bytes) onto the " + contents.description + "?\n\n";
  text += imageBytes >= cardBytes
              ? "This overwrites the whole card (" + RangeText(0, cardBytes) + ")"
              : "This overwrites the card from " + RangeText(0, end) +
                    "; the rest of the card stays as it is";
  // A game whose first bank lies in the range is overwritten, at least in
  // part: on a multi-game card the user may have no other copy of it.
  std::string games;
  for (const ListedGame& game : contents.games) {
    if (game.firstRomBank && std::uint64_t{*game.firstRomBank} * kRomBankBytes < imageBytes)
      games += (games.empty() ? "" : ", ") + game.title;
  }
  text += games.empty() ? ".\n" : ", with " + games + ".\n";
  text += backupFolder.empty()
              ? "No backup of the card is kept."
              : "The card's old contents are saved first, in " + backupFolder + ".";
  return text;
}

}  // namespace velwin::card
