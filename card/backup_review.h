#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <system_error>
#include <vector>

#include "card/card_listing.h"

namespace velwin::card {

// What a file in the backup folder is.
enum class BackupFileKind {
  kBackup,    // a card backup as card write keeps them
  kLink,      // a symbolic link: the program never writes one there
  kCardFile,  // the file the simulated card keeps its own contents in
  kOther,     // anything else: another file, a folder
};

// One file of the backup folder and what its contents say.
struct BackupReview {
  std::string path;
  BackupFileKind kind = BackupFileKind::kOther;
  std::time_t modified = 0;
  std::uint64_t bytes = 0;
  // The card the backup was read from: its name tells, else its size when
  // that is exactly a card's; 0 when neither does.
  std::uint8_t cardMbit = 0;
  CardContents contents;
  // Why it must not be written onto a card; empty when it may.
  std::string refusal;
  // What must be said before it is written: "may hold a partly written
  // card: ...", a truncated file.
  std::vector<std::string> warnings;
};

// The backup folder as a restore shows it: the card backups newest first,
// then every other file in it, each with what is wrong with it, and the
// bytes they take together.
struct BackupFolderReview {
  std::string folder;
  std::error_code error;  // the folder is there but cannot be read
  std::vector<BackupReview> files;
  std::uint64_t totalBytes = 0;
};

// The mark of a backup whose games fail their global checksums: a write
// stopped half-way leaves such a card, and its backup keeps it.
inline constexpr const char* kPartlyWrittenMark = "may hold a partly written card";

// Reads every file of folder: the card backups newest first (the window's
// list, where the one just made leads) or oldest first (the order they were
// made, as the command line lists them), then the other files. cardFile is
// the file a simulated card keeps its contents in (empty for a real card):
// that one is never offered.
BackupFolderReview ReviewBackupFolder(const std::string& folder, const std::string& cardFile,
                                      bool newestFirst = true);

// Reads one image and says what it holds and what is wrong with it, as for
// a backup of a card of cardMbit (0: told by its size).
BackupReview ReviewBackupFile(const std::string& path, std::uint8_t nameMbit);

// Why the backup must not go onto a card of cardMbit: its refusal, or a
// card of another size ("a backup of a 16 Mbit card; the card in the
// X-Changer is 64 Mbit"); empty when it may. A cardMbit of 0 (not known
// yet) refuses only by the backup's own faults.
std::string RestoreRefusal(const BackupReview& backup, std::uint8_t cardMbit);

// The file a simulated card keeps its contents in, from a port description
// "sim:...,rom=PATH,..."; empty for every other port.
std::string SimulatedCardFile(const std::string& portDescription);

// "2026-12-07 13:15:02", local time.
std::string BackupDateText(std::time_t when);

// The games of a backup on one line, "EUROPA, MOTH", or its layout when it
// holds none: "no header, no games".
std::string BackupGamesText(const BackupReview& backup);

}  // namespace velwin::card
