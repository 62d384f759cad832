#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

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

  xchanger::CartAccess& cart_;
  xchanger::EventPump& pump_;
  SramView& view_;
  SramGameTable table_{};
  bool listed_ = false;
  bool busy_ = false;
};

}  // namespace velwin::sramman
