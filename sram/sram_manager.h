#pragma once

#include <utility>

#include "port/port_io.h"
#include "sram/cart_analysis.h"
#include "sram/sram_game_table.h"
#include "sram/sram_transfer.h"
#include "sram/sram_view.h"
#include "xchanger/cart_access.h"
#include "xchanger/cart_header.h"

namespace velwin::sramman {

// The SRAM manager without its window: analyses the cart in the X-Changer
// into the game grid and the SramGameTable, and moves a listed game's SRAM
// between the cart and a .sav file. It owns what the analysis lists, which
// the transfers read, and keeps commands out while an analysis runs.
class SramManager {
 public:
  using ChooseFile = SramTransfer::ChooseFile;
  using KeepCartSram = SramTransfer::KeepCartSram;
  using TransferResult = SramTransfer::TransferResult;

  // The pump is run once per header read of the GBPACK scan.
  SramManager(xchanger::CartAccess& cart, xchanger::EventPump& pump, SramView& view);
  // The analysis and the transfers hold on to this manager's listing.
  SramManager(const SramManager&) = delete;
  SramManager& operator=(const SramManager&) = delete;

  const SramGameTable& GameTable() const { return listing_.table; }
  bool SramGamesListed() const { return listing_.listed; }
  // Whether the last analysis found the X-Changer and a cart with a valid
  // header in ROM bank 0.
  bool CartFound() const { return listing_.cartFound; }
  // Run after a load has verified, before its success line.
  void SetKeepCartSram(KeepCartSram keep) { transfer_.SetKeepCartSram(std::move(keep)); }
  // Progress of the transfers, and a save's way to stop (see SramTransfer).
  void SetTransferProgress(SramTransfer::Progress progress) {
    transfer_.SetProgress(std::move(progress));
  }
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

  // Cart to file and file to cart for the selected row (see SramTransfer).
  TransferResult SaveMarked(const ChooseFile& chooseFile);
  TransferResult LoadMarked(const ChooseFile& chooseFile);

 private:
  CartListing listing_;
  CartAnalysis analysis_;
  SramTransfer transfer_;
  bool busy_ = false;
};

}  // namespace velwin::sramman
