// velwin-cli card backups: the backups card write keeps, and what is on them.
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "card/backup_listing.h"
#include "card/card_backup.h"
#include "card/card_listing.h"
#include "card/image_file.h"
#include "cli/card_session.h"
#include "cli/card_verbs.h"
#include "cli/file_failure.h"
#include "cli/json_text.h"
#include "encoding/windows1252.h"
#include "fileio/file_error.h"

namespace velwin::cli {
namespace {

// "2026-12-07 13:15:02", local time.
std::string DateText(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string CardText(const card::BackupEntry& backup) {
  return backup.cardMbit != 0 ? std::to_string(backup.cardMbit) + " Mbit flash card"
                              : std::string("unknown card");
}

// The games in a backup, or why they cannot be told.
struct BackupGames {
  card::CardContents contents;
  std::string error;
};

BackupGames GamesOf(const card::BackupEntry& backup) {
  BackupGames games;
  std::vector<std::uint8_t> image;
  try {
    if (auto problem = card::ReadImageFile(backup.path, image)) {
      games.error = *problem;
      return games;
    }
  } catch (const fileio::FileError& error) {
    games.error = FileFailureReason(backup.path, error.code());
    return games;
  }
  games.contents = card::ListImage(image, backup.cardMbit);
  return games;
}

void PrintText(const card::BackupEntry& backup, const BackupGames& games, std::ostream& out) {
  out << ShownName(backup.path) << '\n'
      << "  " << CardText(backup) << ", " << backup.bytes << " bytes, " << DateText(backup.modified)
      << '\n';
  if (!games.error.empty()) {
    out << "  " << games.error << '\n';
    return;
  }
  if (games.contents.games.empty())
    out << "  " << games.contents.layout << ", no games\n";
  for (const card::ListedGame& game : games.contents.games)
    out << "  " << encoding::Windows1252ToUtf8(game.title) << '\n';
}

void PrintJson(const card::BackupEntry& backup, const BackupGames& games, std::ostream& out) {
  out << "{\"path\":" << JsonString(backup.path) << ",\"card\":"
      << (backup.cardMbit != 0 ? std::to_string(backup.cardMbit) : std::string("null"))
      << ",\"bytes\":" << backup.bytes << ",\"date\":" << JsonString(DateText(backup.modified));
  if (!games.error.empty()) {
    out << ",\"layout\":null,\"games\":null,\"error\":" << JsonString(games.error) << '}';
    return;
  }
  out << ",\"layout\":" << JsonString(games.contents.layout) << ",\"games\":[";
  for (std::size_t i = 0; i < games.contents.games.size(); ++i)
    out << (i ? "," : "") << JsonString1252(games.contents.games[i].title);
  out << "]}";
}

}  // namespace

int RunCardBackups(const Arguments& args, std::ostream& out, std::ostream& err) {
  CardOptions options;
  if (const auto problem = ParseCardOptions(args, {}, false, options))
    return ReportCardUsage(err, "backups", *problem, options);
  const std::string folder =
      card::CardBackupFolder([](const char* name) { return std::getenv(name); });
  std::error_code unreadable;
  const std::vector<card::BackupEntry> backups = card::ListCardBackups(folder, unreadable);
  if (unreadable) {
    const std::string reason = "Cannot read the backup folder: " + unreadable.message() + ".";
    if (options.json)
      out << "{\"folder\":" << JsonString(folder)
          << ",\"backups\":null,\"error\":" << JsonString(reason) << "}\n";
    else
      ReportFileFailure(err, folder, reason);
    return 1;
  }
  if (options.json) {
    out << "{\"folder\":" << JsonString(folder) << ",\"backups\":[";
    for (std::size_t i = 0; i < backups.size(); ++i) {
      out << (i ? "," : "");
      PrintJson(backups[i], GamesOf(backups[i]), out);
    }
    out << "]}\n";
    return 0;
  }
  if (backups.empty()) {
    out << "No card backups in " << ShownName(folder) << ".\n";
    return 0;
  }
  for (const card::BackupEntry& backup : backups)
    PrintText(backup, GamesOf(backup), out);
  return 0;
}

}  // namespace velwin::cli
