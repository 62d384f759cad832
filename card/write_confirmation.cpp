#include "card/write_confirmation.h"

#include <memory>

#include "card/card_kind.h"
#include "card/card_write_job.h"
#include "card/write_execution.h"
#include "chips/flash_driver.h"

namespace velwin::card {
namespace {

bool HasMenu(const CardContents& contents) {
  return contents.layout == "VELTRA card" || contents.layout == "GBPACK card";
}

std::string JoinedTitles(const std::vector<ListedGame>& games) {
  std::string titles;
  for (const ListedGame& game : games)
    titles += (titles.empty() ? "" : ", ") + game.title;
  return titles;
}

// text with one full stop at its end: a title that ends in one, or in an
// ellipsis (0x85 in the titles' code page), already ends the sentence.
std::string EndedSentence(std::string text) {
  if (!text.empty() && (text.back() == '.' || text.back() == '\x85'))
    return text;
  return text + ".";
}

}  // namespace

std::string OverwrittenGames(const CardContents& contents, std::uint64_t imageBytes) {
  // The range starts at address 0, so a game overlaps it exactly when its
  // first bank lies in it.
  std::string games;
  for (const ListedGame& game : contents.games) {
    if (game.firstRomBank && std::uint64_t{*game.firstRomBank} * kRomBankBytes < imageBytes)
      games += (games.empty() ? "" : ", ") + game.title;
  }
  return games;
}

std::string MenuLossText(const CardContents& contents, std::uint64_t imageBytes) {
  if (!HasMenu(contents) || imageBytes == 0)
    return {};
  const std::size_t count = contents.games.size();
  if (count == 0)
    return "The card's menu is overwritten.";
  if (count == 1)
    return EndedSentence(
        "The card's menu is overwritten: its 1 game becomes unreachable. Its game: " +
        contents.games.front().title);
  return EndedSentence("The card's menu is overwritten: its " + std::to_string(count) +
                       " games become unreachable. Its games: " + JoinedTitles(contents.games));
}

std::string WriteLossLine(const CardContents& contents, std::uint64_t imageBytes) {
  const std::string games = OverwrittenGames(contents, imageBytes);
  const std::string menu = MenuLossText(contents, imageBytes);
  std::string line =
      games.empty() ? std::string() : EndedSentence("This write overwrites " + games);
  if (!menu.empty())
    line += (line.empty() ? "" : " ") + menu;
  return line;
}

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
  // On a multi-game card the user may have no other copy of a game.
  const std::string games = OverwrittenGames(contents, imageBytes);
  text += games.empty() ? ".\n" : ", with " + games + ".\n";
  if (const std::string menu = MenuLossText(contents, imageBytes); !menu.empty())
    text += menu + "\n";
  text += backupFolder.empty()
              ? "No backup of the card is kept."
              : "The card's old contents are saved first, in " + backupFolder + ".";
  return text;
}

std::vector<std::uint32_t> LockedBlocksInRange(xchanger::CartAccess& cart,
                                               xchanger::ChipClock& clock,
                                               const xchanger::FlashChipSpec& chip,
                                               std::uint64_t imageBytes) {
  std::vector<std::uint32_t> locked;
  if (chip.family != xchanger::FlashFamily::kIntelBlockFlash || chip.eraseUnitBytes == 0)
    return locked;
  const std::unique_ptr<xchanger::FlashDriver> driver =
      xchanger::MakeFlashDriver(chip, cart, clock);
  // The identification's probes may have left the chip answering its
  // status; the query starts from read-array mode, as the write does.
  driver->ResetToReadArray();
  for (std::uint64_t block = 0; block < imageBytes && block < chip.sizeBytes;
       block += chip.eraseUnitBytes) {
    if (driver->UnitLocked(static_cast<std::uint32_t>(block)))
      locked.push_back(static_cast<std::uint32_t>(block));
  }
  driver->ResetToReadArray();
  return locked;
}

std::string UnlockOfferText(const xchanger::FlashChipSpec& chip,
                            const std::vector<std::uint32_t>& lockedBlocks) {
  std::string blocks;
  for (const std::uint32_t block : lockedBlocks)
    blocks += (blocks.empty() ? "" : ", ") + UnitText(chip, block);
  return "Locked: " + blocks +
         ". Yes clears the card's lock bits for this write (as --unlock does); the blocks that "
         "were locked are locked again afterwards.";
}

}  // namespace velwin::card
