// velwin-cli card backups: the backups card write keeps, what is on them and
// what is wrong with them; --remove deletes chosen ones after a question.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "card/backup_removal.h"
#include "card/backup_review.h"
#include "card/card_backup.h"
#include "cli/backup_owner.h"
#include "cli/card_session.h"
#include "cli/card_verbs.h"
#include "cli/file_failure.h"
#include "cli/json_text.h"
#include "encoding/windows1252.h"

namespace velwin::cli {
namespace {

std::string CardText(const card::BackupReview& backup) {
  if (backup.kind != card::BackupFileKind::kBackup)
    return "not a card backup";
  return backup.cardMbit != 0 ? std::to_string(backup.cardMbit) + " Mbit flash card"
                              : std::string("unknown card");
}

void PrintText(const card::BackupReview& backup, std::ostream& out) {
  out << ShownName(backup.path) << '\n'
      << "  " << CardText(backup) << ", " << backup.bytes << " bytes, "
      << card::BackupDateText(backup.modified) << '\n';
  if (!backup.refusal.empty()) {
    out << "  Not to be written: " << backup.refusal << ".\n";
    return;
  }
  if (backup.contents.games.empty())
    out << "  " << backup.contents.layout << ", no games\n";
  for (const card::ListedGame& game : backup.contents.games)
    out << "  " << encoding::Windows1252ToUtf8(game.title) << '\n';
  for (const std::string& warning : backup.warnings)
    out << "  Note: " << encoding::Windows1252ToUtf8(warning) << ".\n";
}

const char* KindName(card::BackupFileKind kind) {
  switch (kind) {
    case card::BackupFileKind::kBackup:
      return "backup";
    case card::BackupFileKind::kLink:
      return "link";
    case card::BackupFileKind::kCardFile:
      return "card file";
    case card::BackupFileKind::kOther:
      break;
  }
  return "other";
}

void PrintJson(const card::BackupReview& backup, std::ostream& out) {
  out << "{\"path\":" << JsonString(backup.path) << ",\"kind\":\"" << KindName(backup.kind)
      << "\",\"card\":"
      << (backup.cardMbit != 0 ? std::to_string(backup.cardMbit) : std::string("null"))
      << ",\"bytes\":" << backup.bytes
      << ",\"date\":" << JsonString(card::BackupDateText(backup.modified));
  if (!backup.refusal.empty()) {
    out << ",\"layout\":null,\"games\":null,\"partlyWritten\":false,\"warnings\":[],\"refusal\":"
        << JsonString(backup.refusal) << '}';
    return;
  }
  out << ",\"layout\":" << JsonString(backup.contents.layout) << ",\"games\":[";
  for (std::size_t i = 0; i < backup.contents.games.size(); ++i)
    out << (i ? "," : "") << JsonString1252(backup.contents.games[i].title);
  bool partly = false;
  out << "],\"partlyWritten\":";
  for (const std::string& warning : backup.warnings)
    partly = partly || warning.starts_with(card::kPartlyWrittenMark);
  out << (partly ? "true" : "false") << ",\"warnings\":[";
  for (std::size_t i = 0; i < backup.warnings.size(); ++i)
    out << (i ? "," : "") << JsonString1252(backup.warnings[i]);
  out << "],\"refusal\":null}";
}

// Removes the backups the user named, every one checked first: a name that
// is not a card backup in the folder removes nothing at all. On a terminal
// the user is asked; elsewhere nobody can be, and --yes must say it.
int RemoveBackups(const std::string& folder, const std::vector<std::string>& paths, bool yes,
                  std::ostream& out, std::ostream& err) {
  bool refused = false;
  for (const std::string& path : paths) {
    if (const std::string why = card::BackupRemovalRefusal(folder, path); !why.empty()) {
      ReportCardFailure(err, path, why);
      refused = true;
    }
  }
  if (refused) {
    err << "velwin-cli card backups: nothing removed.\n";
    return 1;
  }
  if (!yes) {
    if (::isatty(STDIN_FILENO) == 0) {
      err << "velwin-cli card backups: --remove asks before it removes, and there is no "
             "terminal to ask on: give --yes to remove without asking.\n";
      return 2;
    }
    out << "Remove " << paths.size() << (paths.size() == 1 ? " backup" : " backups")
        << "? A removed backup cannot put its card back. [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    if (answer != "y" && answer != "Y" && answer != "yes") {
      out << "Nothing removed.\n";
      return 0;
    }
  }
  int status = 0;
  for (const std::string& path : paths) {
    if (const std::string why = card::RemoveCardBackup(folder, path); !why.empty()) {
      ReportCardFailure(err, path, why);
      status = 1;
    } else {
      out << "Removed " << ShownName(path) << '\n';
    }
  }
  return status;
}

}  // namespace

int RunCardBackups(const Arguments& args, std::ostream& out, std::ostream& err) {
  // "--remove PATH..." takes every word after it up to the next option.
  Arguments rest;
  std::vector<std::string> toRemove;
  bool removing = false;
  bool yes = false;
  for (const std::string& arg : args) {
    if (arg == "--remove") {
      removing = true;
    } else if (arg == "--yes") {
      yes = true;
    } else if (removing && !arg.starts_with("-")) {
      toRemove.push_back(arg);
    } else {
      removing = false;
      rest.push_back(arg);
    }
  }
  CardOptions options;
  if (const auto problem = ParseCardOptions(rest, {}, false, options))
    return ReportCardUsage(err, "backups", *problem, options);
  const bool remove = std::find(args.begin(), args.end(), "--remove") != args.end();
  if (remove && toRemove.empty())
    return ReportCardUsage(err, "backups", "--remove needs the backups to remove", options);
  if (remove && options.json)
    return ReportCardUsage(err, "backups", "--remove does not take --json", options);
  if (yes && !remove)
    return ReportCardUsage(err, "backups", "--yes goes with --remove", options);
  // Run as root for someone, their backups: where card write keeps them.
  const std::string folder = BackupFolderFor(
      std::nullopt, FindInvokingUser([](const char* name) { return std::getenv(name); }));
  if (remove)
    return RemoveBackups(folder, toRemove, yes, out, err);

  const card::BackupFolderReview review =
      card::ReviewBackupFolder(folder, card::SimulatedCardFile(options.port), false);
  if (review.error) {
    const std::string reason = "Cannot read the backup folder: " + review.error.message() + ".";
    if (options.json)
      out << "{\"folder\":" << JsonString(folder)
          << ",\"backups\":null,\"error\":" << JsonString(reason) << "}\n";
    else
      ReportFileFailure(err, folder, reason);
    return 1;
  }
  if (options.json) {
    out << "{\"folder\":" << JsonString(folder) << ",\"backups\":[";
    for (std::size_t i = 0; i < review.files.size(); ++i) {
      out << (i ? "," : "");
      PrintJson(review.files[i], out);
    }
    out << "],\"totalBytes\":" << review.totalBytes << "}\n";
    return 0;
  }
  if (review.files.empty()) {
    out << "No card backups in " << ShownName(folder) << ".\n";
    return 0;
  }
  for (const card::BackupReview& backup : review.files)
    PrintText(backup, out);
  out << review.files.size() << (review.files.size() == 1 ? " file, " : " files, ")
      << review.totalBytes << " bytes in " << ShownName(folder) << ".\n";
  return 0;
}

}  // namespace velwin::cli
