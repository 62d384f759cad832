#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sramman/sram_game_table.h"
#include "sramman/sram_view.h"
#include "xchanger/cart_access.h"
#include "xchanger/cart_header.h"
#include "xchanger/port_io.h"

namespace velwin::sramman {

// The SRAM manager without its window: analyses the cart in the X-Changer
// into the game grid and the SramGameTable, and moves a listed game's SRAM
// between the cart and a .sav file.
class SramManager {
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
  };

  // The pump is run once per header read of the GBPACK scan.
  SramManager(xchanger::CartAccess& cart, xchanger::EventPump& pump, SramView& view);

  const SramGameTable& GameTable() const { return table_; }
  bool SramGamesListed() const { return listed_; }
  // Whether the last analysis found the X-Changer and a cart with a valid
  // header in ROM bank 0.
  bool CartFound() const { return cartFound_; }
  // Run after a load has verified, before its success line.
  void SetKeepCartSram(KeepCartSram keep) { keepCartSram_ = std::move(keep); }
  // True while an analysis runs; it lets window events in, and commands that
  // arrive meanwhile are ignored.
  bool Busy() const { return busy_; }

  // "Analyse Cart": clears log and grid, finds the X-Changer, identifies the
  // card, tells the cart kind from the header of ROM bank 0 and lists its
  // SRAM games.
  void AnalyseCart();
  void AnalyseSingleCart(const xchanger::CartHeader& header);
  void ScanGbpackCard();
  void ScanMenuCard();

  // Cart to file and file to cart for the selected row. Creating, opening,
  // sizing or closing the file throws fileio::FileError; read and write
  // errors end up in the log as "IO-Error N".
  //
  // A save reads every bank twice and trusts it only when both reads agree,
  // checks that the cart still answers, and replaces an earlier file at that
  // path only once the new one is complete on the disk. A load reads every
  // bank back and compares it with the file before it reports success.
  TransferResult SaveMarked(const ChooseFile& chooseFile);
  TransferResult LoadMarked(const ChooseFile& chooseFile);

 private:
  struct SelectedGame {
    SramGameEntry entry;
    SramKindInfo info;
  };

  void AddGridRow();
  void RemoveGridRow();
  std::optional<SelectedGame> GameToTransfer();
  bool BanksOnCard(const SelectedGame& game);
  bool TransferBank(std::uint8_t result, std::uint8_t bank);
  bool ReadBankTwice(std::uint8_t bank, std::vector<std::uint8_t>& first);
  bool CartStillAnswers();
  bool VerifyBanks(const SelectedGame& game, std::span<const std::uint8_t> image);

  xchanger::CartAccess& cart_;
  xchanger::EventPump& pump_;
  SramView& view_;
  SramGameTable table_{};
  bool listed_ = false;
  bool cartFound_ = false;
  bool busy_ = false;
  KeepCartSram keepCartSram_;
};

}  // namespace velwin::sramman
