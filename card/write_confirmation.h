#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "card/card_listing.h"
#include "chips/flash_chip_table.h"

namespace velwin::card {

// What a write from address 0 does to the games of a card, as the command
// line and the window both say it. Texts are in the card's code page
// (Windows-1252, as the listing's titles are).
struct WriteSubject {
  CardContents card;   // the card as listed just now
  CardContents image;  // the image, listed as the card would show it (ListImage)
  std::uint64_t imageBytes = 0;
  std::uint32_t cardBytes = 0;
  bool backup = false;  // the image is a backup of a card: a restore
};

// The sentences on the games, on one line:
// - an image as large as the card replaces all of it: "The backup holds:
//   A, B; the card now holds: C." ("The image holds" for any other file);
// - a shorter one names the games whose banks it reaches and those past
//   its end: "This write overwrites A; B stays." (only games whose place on
//   the card is known take part: a VELTRA directory does not say where its
//   games lie), then what becomes of a multi-game card's menu
//   (MenuLossText); a shorter backup first says what it holds.
// Empty when neither the card nor the image holds a game the listing knows of.
std::string WriteLossLine(const WriteSubject& subject);

// A multi-game card starts with its menu program and the directory or the
// header walk it finds its games by, in the first two banks: any write from
// address 0 replaces them, and the games behind them can no longer be
// started. "The card's menu is overwritten: its 8 games become unreachable.
// Its games: A, B, ..."; empty for a single game, a blank card or an empty
// write.
std::string MenuLossText(const CardContents& contents, std::uint64_t imageBytes);

// The window's question before a write changes the card: which card and
// image, which range the write covers, WriteLossLine, the time it should
// take (timeText) and where the old contents go. backupFolder is empty
// when no backup is kept.
std::string WriteConfirmationText(const WriteSubject& subject, const std::string& imageName,
                                  const std::string& timeText, const std::string& backupFolder);

// How the question over locked blocks is answered: with the buttons Unlock
// and Write, Write and Cancel, or with Yes (which clears them) and No.
enum class UnlockAnswers { kUnlockWriteCancel, kYesNo };

// The paragraph the question adds for locked blocks the image changes:
// which, and what each answer does with them.
std::string UnlockOfferText(const xchanger::FlashChipSpec& chip,
                            const std::vector<std::uint32_t>& lockedBlocks,
                            UnlockAnswers answers = UnlockAnswers::kUnlockWriteCancel);

// text with a full stop, unless it already ends a sentence: a title may
// end in its own full stop or ellipsis, which ends the sentence too.
std::string EndSentence(std::string text);

}  // namespace velwin::card
