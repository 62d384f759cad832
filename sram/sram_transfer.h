#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sram/cart_analysis.h"
#include "sram/sram_game_table.h"
#include "sram/sram_view.h"
#include "xchanger/cart_access.h"

namespace velwin::sramman {

// "Save Marked" and "Load Marked": moves the SRAM of the game selected in the
// grid between the cart and a .sav file, as the latest analysis listed it.
class SramTransfer {
 public:
  // Asked for the .sav file once a transfer has passed its checks; nothing
  // when the user cancelled.
  using ChooseFile = std::function<std::optional<std::string>()>;

  // Makes the SRAM just loaded last where the cart keeps it outside the
  // X-Changer (a simulated cart writes its image file); false with a message
  // when that failed.
  using KeepCartSram = std::function<bool(std::string& error)>;

  struct TransferResult {
    bool succeeded = false;  // the success line was logged
    // DirectoryOf the chosen file, once the transfer got as far as closing
    // it; the dialogs open there next time.
    std::optional<std::string> directory;
    // The system's error of a read or write of the file that failed (the
    // log says "IO-Error N"), 0 when there was none.
    int fileError = 0;
  };

  SramTransfer(xchanger::CartAccess& cart, SramView& view, const CartListing& listing);

  // Run after a load has verified, before its success line.
  void SetKeepCartSram(KeepCartSram keep) { keepCartSram_ = std::move(keep); }

  // Told the bytes done of the bytes to do at every bank boundary. A save
  // stops at the next boundary when it answers false, leaving no file; a
  // load goes on to its end, since a save half written to the cart would be
  // worse than the wait.
  using Progress = std::function<bool(std::uint64_t done, std::uint64_t toDo)>;
  void SetProgress(Progress progress) { progress_ = std::move(progress); }

  // Cart to file and file to cart for the selected row. Creating, opening,
  // sizing or closing the file throws fileio::FileError; read and write
  // errors end up in the log as "IO-Error N".
  //
  // A save reads every bank twice and trusts it only when both reads agree,
  // checks that the cart still answers, and replaces an earlier file at that
  // path only once the new one is complete on the disk. A load reads every
  // bank back, compares it with the file and checks that the cart still
  // answers before it reports success. Before the first bank is written, a
  // load reads the game's current SRAM (twice, as a save does) and keeps it
  // in a new file in SramBackupFolder(), logging its path; when that file
  // cannot be written, nothing is written to the cart.
  TransferResult SaveMarked(const ChooseFile& chooseFile);
  TransferResult LoadMarked(const ChooseFile& chooseFile);

 private:
  struct SelectedGame {
    SramGameEntry entry;
    SramKindInfo info;
    std::string title;  // as the grid shows it
  };

  std::optional<SelectedGame> GameToTransfer();
  bool BanksOnCard(const SelectedGame& game);
  bool BankAccepted(std::uint8_t result, std::uint8_t bank);
  bool ReadBankTwice(std::uint8_t bank, std::vector<std::uint8_t>& first);
  bool CartStillAnswers(const char* failureText, const char* consequence);
  bool KeepOldSave(const SelectedGame& game);
  bool VerifyBanks(const SelectedGame& game, std::span<const std::uint8_t> image);
  void BeginProgress(std::uint64_t bankSteps);
  bool BankStep();

  xchanger::CartAccess& cart_;
  SramView& view_;
  // The listing's fields, which the transfers read.
  const SramGameTable& table_;
  const bool& listed_;
  KeepCartSram keepCartSram_;
  Progress progress_;
  std::uint64_t bytesDone_ = 0;
  std::uint64_t bytesToDo_ = 0;
};

}  // namespace velwin::sramman
