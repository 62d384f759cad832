#include "sram/sram_transfer.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "encoding/windows1252.h"
#include "fileio/atomic_file.h"
#include "fileio/file_error.h"
#include "sram/directory_of.h"
#include "sram/sram_backup.h"
#include "xchanger/cart_access_diagnosis.h"

namespace velwin::sramman {
namespace {

using fileio::AtomicFile;
using fileio::ByteFile;
using fileio::FileError;

// The error number the log shows for a block that was read only in part.
constexpr int kShortRead = 100;

std::uint8_t BankNumber(const SramGameEntry& entry, unsigned i) {
  // Bank numbers are 8 bits on the link.
  return static_cast<std::uint8_t>((entry.FirstBank + i) & 0xFFu);
}

std::string IoErrorText(int number) {
  return "IO-Error " + std::to_string(number);
}

// A failed file operation: the system's number, and the program's words for
// it where it has any ("IO-Error 28: Disk full"). The system's error is kept
// in fileError for reports that name the file.
std::string FileErrorText(const FileError& error, int& fileError) {
  fileError = error.code();
  const std::string text = error.what();
  if (text.starts_with("I/O error"))
    return IoErrorText(error.code());
  return IoErrorText(error.code()) + ": " + text;
}

// Moves one 8 KB block between the TransferBuffer or the image and the file.
// A block that moves only in part, or a failing call, is logged as
// "IO-Error N" with the file layer's number; returns whether it all moved.
template <typename Move>
bool MoveFileBlock(SramView& view, int shortNumber, int& fileError, Move move) {
  try {
    if (move() == kSramBankBytes)
      return true;
    view.LogStatus(IoErrorText(shortNumber));
  } catch (const FileError& error) {
    view.LogStatus(FileErrorText(error, fileError));
  }
  return false;
}

std::string BankUnavailableText(std::uint8_t bank) {
  return "SRAM bank " + std::to_string(bank) + " not available on this card.";
}

std::span<const std::uint8_t> BankIn(const xchanger::CartAccess::Buffer& buffer) {
  return {buffer.data(), kSramBankBytes};
}

}  // namespace

SramTransfer::SramTransfer(xchanger::CartAccess& cart, SramView& view, const CartListing& listing)
    : cart_(cart), view_(view), table_(listing.table), listed_(listing.listed) {}

std::optional<SramTransfer::SelectedGame> SramTransfer::GameToTransfer() {
  const int row = view_.SelectedRow();
  if (row < 0 || static_cast<std::size_t>(row) >= table_.size())
    return std::nullopt;
  const SramGameEntry entry = table_[static_cast<std::size_t>(row)];
  const auto info = KindInfo(entry.Kind);

  // The capacity rule comes first, so its message shows even when nothing
  // is listed.
  if (info && info->lastFirstBank && entry.FirstBank > *info->lastFirstBank) {
    view_.LogStatus("Not enough SRAM on cart for selected game.");
    return std::nullopt;
  }
  if (!listed_)
    return std::nullopt;
  if (!info) {
    // A header RAM size code the program does not know: no bank count to
    // move, so moving nothing and saying nothing would look like success.
    view_.LogStatus("SRAM size of selected game unknown; nothing transferred.");
    return std::nullopt;
  }
  SelectedGame game{entry, *info, view_.Cell(0, row)};
  if (!BanksOnCard(game))
    return std::nullopt;
  return game;
}

// Refuses up front a game whose banks the card does not have, rather than
// stopping half-way with part of a save moved.
bool SramTransfer::BanksOnCard(const SelectedGame& game) {
  for (unsigned i = 0; i < game.info.bankCount; ++i) {
    const std::uint8_t bank = BankNumber(game.entry, i);
    if (!cart_.SramBankAvailable(bank)) {
      view_.LogStatus(BankUnavailableText(bank));
      return false;
    }
  }
  return true;
}

// ReadSramBank and WriteSramBank answer kBankOutOfRange for a bank the card
// does not have; that refusal is logged and ends the transfer.
bool SramTransfer::BankAccepted(std::uint8_t result, std::uint8_t bank) {
  if (result == xchanger::kBankOutOfRange) {
    view_.LogStatus(BankUnavailableText(bank));
    return false;
  }
  return true;
}

void SramTransfer::BeginProgress(std::uint64_t bankSteps) {
  bytesDone_ = 0;
  bytesToDo_ = bankSteps * kSramBankBytes;
}

// One bank moved, or about to be: tells the progress and whether to go on.
bool SramTransfer::BankStep() {
  const bool goOn = !progress_ || progress_(bytesDone_, bytesToDo_);
  bytesDone_ += kSramBankBytes;
  return goOn;
}

// A link that drops bits now and then rarely drops the same ones twice: a
// bank is trusted only when two reads of it agree.
bool SramTransfer::ReadBankTwice(std::uint8_t bank, std::vector<std::uint8_t>& first) {
  if (!BankStep()) {
    view_.LogStatus("Cancelled; nothing written.");
    return false;
  }
  if (!BankAccepted(cart_.ReadSramBank(bank), bank))
    return false;
  const auto read = BankIn(cart_.TransferBuffer());
  first.assign(read.begin(), read.end());
  cart_.ReadSramBank(bank);
  if (!std::equal(read.begin(), read.end(), first.begin())) {
    // A link that drops between the two reads makes them differ too: that
    // is no unstable read, and it is said as what it is.
    if (!cart_.Link().FindXChanger()) {
      view_.LogStatus(std::string(xchanger::kXChangerStoppedAnswering) + " Nothing written.");
    } else {
      view_.LogStatus("Read unstable: SRAM bank " + std::to_string(bank) +
                      " differs between two reads.");
    }
    return false;
  }
  return true;
}

// A cart pulled out, or an X-Changer whose plug came loose, reads as a bus
// nobody drives: every SRAM byte 0xFF, identical in both reads and equal to
// a file of 0xFF. The logo of ROM bank 0, which the analysis found, tells
// whether the cart still answers; every bit position of it takes both
// values, so a data line stuck at either level fails it too.
//
// A dropped link is named as such, with what it leaves (consequence).
bool SramTransfer::CartStillAnswers(const char* failureText, const char* consequence) {
  xchanger::CartHeader header;
  cart_.ReadCartHeader(0, header);
  if (xchanger::CartAccess::CartHeaderValid(header))
    return true;
  if (!cart_.Link().FindXChanger()) {
    view_.LogStatus(std::string(xchanger::kXChangerStoppedAnswering) + " " + consequence);
  } else {
    view_.LogStatus(failureText);
  }
  return false;
}

SramTransfer::TransferResult SramTransfer::SaveMarked(const ChooseFile& chooseFile) {
  const auto game = GameToTransfer();
  if (!game)
    return {};
  const auto path = chooseFile();
  if (!path)
    return {};
  BeginProgress(game->info.bankCount);

  // The earlier backup at that path stays as it is until every bank has
  // been read and written and the new file is on the disk.
  AtomicFile file = AtomicFile::Begin(*path);
  std::vector<std::uint8_t> bank;
  bool ok = true;
  int fileError = 0;
  for (unsigned i = 0; ok && i < game->info.bankCount; ++i) {
    // Write goes on after a short write and throws the system's error when
    // the rest cannot be stored either (a full disk).
    ok = ReadBankTwice(BankNumber(game->entry, i), bank) && MoveFileBlock(view_, 0, fileError, [&] {
           file.File().Write(bank);
           return bank.size();
         });
  }
  ok = ok && CartStillAnswers("Cart no longer answers; nothing written.", "Nothing written.");
  if (ok) {
    try {
      file.Commit();
    } catch (const FileError& error) {
      view_.LogStatus(FileErrorText(error, fileError));
      ok = false;
    }
  }
  if (ok)
    view_.LogStatus(std::string(game->info.sizeText) + " read from cart.");
  return {ok, DirectoryOf(*path), fileError};
}

// The save on the cart may be the only copy of months of play, and the file
// about to replace it may be the wrong one: it is read as a save reads it and
// kept in a file of its own before anything is written. A backup that
// cannot be kept, or a cart that no longer answers, stops the load.
bool SramTransfer::KeepOldSave(const SelectedGame& game) {
  std::vector<std::uint8_t> old;
  old.reserve(game.info.bankCount * kSramBankBytes);
  std::vector<std::uint8_t> bank;
  for (unsigned i = 0; i < game.info.bankCount; ++i) {
    if (!ReadBankTwice(BankNumber(game.entry, i), bank))
      return false;
    old.insert(old.end(), bank.begin(), bank.end());
  }
  if (!CartStillAnswers("Cart no longer answers; nothing written.", "Nothing written."))
    return false;
  const std::string folder = SramBackupFolder([](const char* name) { return std::getenv(name); });
  try {
    const std::string path = WriteSramBackup(folder, game.title, std::time(nullptr), old);
    view_.LogStatus("Old save kept in " + encoding::Utf8ToWindows1252(path));
  } catch (const FileError& error) {
    const std::string where = error.path().empty() ? folder : error.path();
    // A file where the folder should be, or a read-only file system, reads
    // as "File not found" or "File access denied" in the plain words: the
    // system's own say what to mend.
    const bool plainWordsHide = error.code() == ENOTDIR || error.code() == EROFS;
    const std::string reason = plainWordsHide ? std::strerror(error.code()) : error.what();
    view_.LogStatus("Old save not kept: " + reason + " (" + encoding::Utf8ToWindows1252(where) +
                    "). Nothing written to the cart.");
    return false;
  }
  return true;
}

// Reads every bank just written back and compares it with the file; logs the
// first bank that differs.
bool SramTransfer::VerifyBanks(const SelectedGame& game, std::span<const std::uint8_t> image) {
  for (unsigned i = 0; i < game.info.bankCount; ++i) {
    BankStep();
    const std::uint8_t number = BankNumber(game.entry, i);
    cart_.ReadSramBank(number);
    const auto expected = image.subspan(i * kSramBankBytes, kSramBankBytes);
    const auto read = BankIn(cart_.TransferBuffer());
    if (!std::equal(read.begin(), read.end(), expected.begin())) {
      if (!cart_.Link().FindXChanger()) {
        view_.LogStatus(std::string(xchanger::kXChangerStoppedAnswering) +
                        " The load could not be verified.");
      } else {
        view_.LogStatus("Verify failed: SRAM bank " + std::to_string(number) +
                        " differs from the file.");
      }
      return false;
    }
  }
  return true;
}

SramTransfer::TransferResult SramTransfer::LoadMarked(const ChooseFile& chooseFile) {
  const auto game = GameToTransfer();
  if (!game)
    return {};
  const auto path = chooseFile();
  if (!path)
    return {};
  BeginProgress(3u * game->info.bankCount);  // old save read, written, read back

  // Read access is all a load needs, so a write-protected backup loads too.
  ByteFile file = ByteFile::Open(*path, ByteFile::Access::kRead);
  const std::size_t needed = game->info.bankCount * kSramBankBytes;
  bool ok = true;
  int fileError = 0;
  // The whole image is read before the first bank goes to the cart, so a
  // file that fails half-way leaves the cart's save as it was.
  std::vector<std::uint8_t> image;
  if (file.Size() < static_cast<std::int64_t>(needed)) {
    view_.LogStatus(std::string(game->info.tooSmallText));
    ok = false;
  } else {
    image.resize(needed);
    for (unsigned i = 0; ok && i < game->info.bankCount; ++i) {
      const auto block = std::span<std::uint8_t>(image).subspan(i * kSramBankBytes, kSramBankBytes);
      ok = MoveFileBlock(view_, kShortRead, fileError, [&] { return file.Read(block); });
    }
  }
  file.Close();
  ok = ok && KeepOldSave(*game);

  auto& buffer = cart_.TransferBuffer();
  for (unsigned i = 0; ok && i < game->info.bankCount; ++i) {
    BankStep();
    const auto block = image.begin() + static_cast<std::ptrdiff_t>(i * kSramBankBytes);
    std::copy(block, block + static_cast<std::ptrdiff_t>(kSramBankBytes), buffer.begin());
    const std::uint8_t number = BankNumber(game->entry, i);
    ok = BankAccepted(cart_.WriteSramBank(number), number);
  }
  // A read-back that matches proves nothing when the bus no longer answers.
  ok = ok && VerifyBanks(*game, image) &&
       CartStillAnswers("Cart no longer answers; the load could not be verified.",
                        "The load could not be verified.");
  if (ok && keepCartSram_) {
    std::string error;
    if (!keepCartSram_(error)) {
      view_.LogStatus(error);
      ok = false;
    }
  }
  if (ok)
    view_.LogStatus(std::string(game->info.sizeText) + " SRAM transferred to cart.");
  return {ok, DirectoryOf(*path), fileError};
}

}  // namespace velwin::sramman
