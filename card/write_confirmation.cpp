#include "card/write_confirmation.h"

#include "card/card_write_job.h"
#include "card/write_execution.h"

namespace velwin::card {
namespace {

// The ellipsis of Windows-1252, which some titles end in.
constexpr char kEllipsis = '\x85';

bool HasMenu(const CardContents& contents) {
  return contents.layout == "VELTRA card" || contents.layout == "GBPACK card";
}

std::string JoinedTitles(const std::vector<ListedGame>& games) {
  std::string titles;
  for (const ListedGame& game : games)
    titles += (titles.empty() ? "" : ", ") + game.title;
  return titles;
}

// "holds: A, B", or that it holds no game the listing could name.
std::string HoldsText(const CardContents& contents) {
  return contents.games.empty() ? "holds no game velwin can name"
                                : "holds: " + JoinedTitles(contents.games);
}

std::string WholeCardText(const WriteSubject& subject) {
  if (subject.image.games.empty() && subject.card.games.empty())
    return {};
  return EndSentence((subject.backup ? "The backup " : "The image ") + HoldsText(subject.image) +
                     "; the card now " + HoldsText(subject.card));
}

// The range starts at address 0, so a game overlaps it exactly when its
// first bank lies in it; games whose place is not known are in neither list.
std::string GamesFateText(const CardContents& contents, std::uint64_t imageBytes) {
  std::vector<ListedGame> overwritten;
  std::vector<ListedGame> staying;
  for (const ListedGame& game : contents.games) {
    if (!game.firstRomBank)
      continue;
    (std::uint64_t{*game.firstRomBank} * kRomBankBytes < imageBytes ? overwritten : staying)
        .push_back(game);
  }
  if (overwritten.empty() && staying.empty())
    return {};
  std::string text = "This write overwrites " +
                     (overwritten.empty() ? std::string("no game") : JoinedTitles(overwritten));
  if (!staying.empty())
    text += "; " + JoinedTitles(staying) + (staying.size() == 1 ? " stays" : " stay");
  return EndSentence(text);
}

std::string Joined(const std::string& first, const std::string& second) {
  return first.empty() || second.empty() ? first + second : first + " " + second;
}

}  // namespace

std::string EndSentence(std::string text) {
  if (text.empty() ||
      (text.back() != '.' && text.back() != '!' && text.back() != '?' && text.back() != kEllipsis))
    text += '.';
  return text;
}

std::string MenuLossText(const CardContents& contents, std::uint64_t imageBytes) {
  if (!HasMenu(contents) || imageBytes == 0)
    return {};
  const std::size_t count = contents.games.size();
  if (count == 0)
    return "The card's menu is overwritten.";
  if (count == 1)
    return EndSentence(
        "The card's menu is overwritten: its 1 game becomes unreachable. Its game: " +
        contents.games.front().title);
  return EndSentence("The card's menu is overwritten: its " + std::to_string(count) +
                     " games become unreachable. Its games: " + JoinedTitles(contents.games));
}

std::string WriteLossLine(const WriteSubject& subject) {
  if (subject.imageBytes >= subject.cardBytes)
    return WholeCardText(subject);
  std::string line;
  if (subject.backup)
    line = EndSentence("The backup " + HoldsText(subject.image));
  line = Joined(line, GamesFateText(subject.card, subject.imageBytes));
  return Joined(line, MenuLossText(subject.card, subject.imageBytes));
}

std::string WriteConfirmationText(const WriteSubject& subject, const std::string& imageName,
                                  const std::string& timeText, const std::string& backupFolder) {
  std::string text = "Write " + imageName + " (" + std::to_string(subject.imageBytes) +
                     " bytes) onto the " + subject.card.description + "?\n\n";
  text += subject.imageBytes >= subject.cardBytes
              ? "This overwrites the whole card (" + RangeText(0, subject.cardBytes) + ").\n"
              : "The write covers " + RangeText(0, static_cast<std::uint32_t>(subject.imageBytes)) +
                    " of the card; the rest stays as it is.\n";
  if (const std::string loss = WriteLossLine(subject); !loss.empty())
    text += loss + "\n";
  if (!timeText.empty())
    text += timeText + "\n";
  text += backupFolder.empty()
              ? "No backup of the card is kept."
              : "The card's old contents are saved first, in " + backupFolder + ".";
  return text;
}

std::string UnlockOfferText(const xchanger::FlashChipSpec& chip,
                            const std::vector<std::uint32_t>& lockedBlocks, UnlockAnswers answers) {
  const std::string blocks = UnitsText(chip, lockedBlocks);
  const std::string clears =
      " clears the card's lock bits for this write (as --unlock does) and locks those that were "
      "set again afterwards";
  if (answers == UnlockAnswers::kYesNo)
    return "Locked, and changed by this write: " + blocks + ". Yes" + clears + ".";
  return "Locked, and changed by this write: " + blocks + ". Unlock and Write" + clears +
         "; Write keeps them set, and is refused.";
}

}  // namespace velwin::card
