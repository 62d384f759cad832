#include "card/backup_review.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <span>

#include "card/backup_listing.h"
#include "card/image_file.h"
#include "fileio/file_error.h"
#include "port/port_lock.h"
#include "rom/global_checksum.h"

namespace velwin::card {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMbitBytes = 128 * 1024;

std::uint8_t MbitOfSize(std::uint64_t bytes) {
  for (const std::uint8_t mbit : {4, 16, 64}) {
    if (bytes == mbit * kMbitBytes)
      return mbit;
  }
  return 0;
}

// A game's global checksum over its banks; past the image's end the card
// reads as erased flash, as the listing reads it.
bool GameChecksumHolds(std::span<const std::uint8_t> image, const ListedGame& game) {
  const std::uint64_t begin = std::uint64_t{*game.firstRomBank} * kRomBankBytes;
  const std::uint64_t length = std::uint64_t{*game.romBanks} * kRomBankBytes;
  rom::GlobalChecksum checksum;
  const std::uint64_t inImage =
      begin < image.size() ? std::min<std::uint64_t>(length, image.size() - begin) : 0;
  checksum.Add(image.subspan(static_cast<std::size_t>(std::min<std::uint64_t>(begin, image.size())),
                             static_cast<std::size_t>(inImage)));
  const std::vector<std::uint8_t> erased(kRomBankBytes, 0xFF);
  for (std::uint64_t left = length - inImage; left > 0;) {
    const std::uint64_t part = std::min<std::uint64_t>(left, erased.size());
    checksum.Add(std::span(erased).first(static_cast<std::size_t>(part)));
    left -= part;
  }
  return checksum.Matches();
}

// The games with a place on the card whose global checksum fails. A VELTRA
// directory does not say where its games lie, so those go unchecked.
std::vector<std::string> GamesFailingChecksum(std::span<const std::uint8_t> image,
                                              const CardContents& contents) {
  std::vector<std::string> failing;
  for (const ListedGame& game : contents.games) {
    if (game.firstRomBank && game.romBanks && !GameChecksumHolds(image, game))
      failing.push_back(game.title);
  }
  return failing;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words)
    text += (text.empty() ? "" : ", ") + word;
  return text;
}

BackupReview FileOnly(const fs::path& path, BackupFileKind kind) {
  BackupReview review;
  review.path = path.string();
  review.kind = kind;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    review.modified = st.st_mtime;
    review.bytes = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  }
  return review;
}

bool SameFile(const fs::path& path, const std::string& cardFile) {
  std::error_code error;
  return !cardFile.empty() && fs::equivalent(path, cardFile, error) && !error;
}

std::string ReasonFor(BackupFileKind kind, const fs::path& path) {
  switch (kind) {
    case BackupFileKind::kLink: {
      std::error_code error;
      const fs::path target = fs::read_symlink(path, error);
      return "a symbolic link" + (error ? std::string() : " to " + target.string()) +
             ", not a backup this program wrote";
    }
    case BackupFileKind::kCardFile:
      return "the simulated card's own file";
    case BackupFileKind::kOther: {
      std::error_code error;
      return fs::is_directory(fs::symlink_status(path, error)) ? "a folder, not a card backup"
                                                               : "not a card backup";
    }
    case BackupFileKind::kBackup:
      break;
  }
  return {};
}

}  // namespace

std::string SimulatedCardFile(const std::string& portDescription) {
  return std::string(xchanger::SimSetting(portDescription, "rom"));
}

std::string BackupDateText(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

BackupReview ReviewBackupFile(const std::string& path, std::uint8_t nameMbit) {
  BackupReview review = FileOnly(path, BackupFileKind::kBackup);
  std::vector<std::uint8_t> image;
  try {
    if (const auto problem = ReadImageFile(path, image)) {
      review.refusal = *problem;
      return review;
    }
  } catch (const fileio::FileError& error) {
    review.refusal = std::string("cannot be read: ") + error.what();
    return review;
  }
  review.bytes = image.size();
  review.cardMbit = nameMbit != 0 ? nameMbit : MbitOfSize(image.size());
  if (review.cardMbit == 0) {
    review.refusal = "of no card: neither its name nor its size, " + std::to_string(image.size()) +
                     " bytes, is a card's";
    return review;
  }
  const std::uint64_t cardBytes = review.cardMbit * kMbitBytes;
  if (image.size() > cardBytes) {
    review.refusal = std::to_string(image.size()) + " bytes, more than a " +
                     std::to_string(review.cardMbit) + " Mbit card holds";
    return review;
  }
  if (image.size() < cardBytes)
    review.warnings.push_back("truncated: it holds " + std::to_string(image.size()) + " of the " +
                              std::to_string(cardBytes) +
                              " bytes of its card, and the rest of the card stays as it is");
  review.contents = ListImage(image, review.cardMbit);
  const std::vector<std::string> failing = GamesFailingChecksum(image, review.contents);
  if (!failing.empty())
    review.warnings.push_back(
        std::string(kPartlyWrittenMark) + ": " + Joined(failing) +
        (failing.size() == 1 ? " fails its global checksum" : " fail their global checksums"));
  return review;
}

BackupFolderReview ReviewBackupFolder(const std::string& folder, const std::string& cardFile,
                                      bool newestFirst) {
  BackupFolderReview review;
  review.folder = folder;
  std::vector<BackupEntry> backups = ListCardBackups(folder, review.error);
  if (review.error)
    return review;
  std::set<fs::path> seen;
  if (newestFirst)
    std::reverse(backups.begin(), backups.end());
  for (const BackupEntry& backup : backups) {
    const fs::path path(backup.path);
    seen.insert(path);
    if (fs::is_symlink(path) || SameFile(path, cardFile)) {
      const BackupFileKind kind =
          fs::is_symlink(path) ? BackupFileKind::kLink : BackupFileKind::kCardFile;
      BackupReview file = FileOnly(path, kind);
      file.refusal = ReasonFor(kind, path);
      review.files.push_back(std::move(file));
      continue;
    }
    BackupReview file = ReviewBackupFile(backup.path, backup.cardMbit);
    file.modified = backup.modified;
    review.files.push_back(std::move(file));
  }
  std::error_code error;
  std::vector<BackupReview> others;
  for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    if (seen.contains(it->path()))
      continue;
    BackupFileKind kind = BackupFileKind::kOther;
    if (it->is_symlink())
      kind = BackupFileKind::kLink;
    else if (SameFile(it->path(), cardFile))
      kind = BackupFileKind::kCardFile;
    BackupReview file = FileOnly(it->path(), kind);
    file.refusal = ReasonFor(kind, it->path());
    others.push_back(std::move(file));
  }
  std::sort(others.begin(), others.end(),
            [](const BackupReview& a, const BackupReview& b) { return a.path < b.path; });
  for (BackupReview& file : others)
    review.files.push_back(std::move(file));
  for (const BackupReview& file : review.files)
    review.totalBytes += file.bytes;
  return review;
}

std::string RestoreRefusal(const BackupReview& backup, std::uint8_t cardMbit) {
  if (!backup.refusal.empty())
    return backup.refusal;
  if (cardMbit != 0 && backup.cardMbit != cardMbit)
    return "a backup of a " + std::to_string(backup.cardMbit) + " Mbit card; the card in the " +
           "X-Changer is " + std::to_string(cardMbit) + " Mbit";
  return {};
}

std::string BackupGamesText(const BackupReview& backup) {
  std::vector<std::string> titles;
  for (const ListedGame& game : backup.contents.games)
    titles.push_back(game.title);
  if (titles.empty())
    return backup.contents.layout.empty() ? std::string() : backup.contents.layout + ", no games";
  return Joined(titles);
}

}  // namespace velwin::card
