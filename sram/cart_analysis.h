#pragma once

#include <cstdint>
#include <span>
#include "port/port_io.h"

#include "sram/sram_game_table.h"
#include "sram/sram_view.h"
#include "xchanger/cart_access.h"
#include "xchanger/cart_header.h"

namespace velwin::sramman {

// What the latest analysis left: the game of each grid row, whether it
// listed any, and whether it found a cart at all. The transfers work from
// this alone.
struct CartListing {
  SramGameTable table{};
  bool listed = false;  // SramGamesListed
  bool cartFound = false;
};

// "Analyse Cart": tells the kind of cart in the X-Changer from the header of
// ROM bank 0, lists its SRAM games in the grid and records them in the
// listing.
class CartAnalysis {
 public:
  // The pump is run once per header read of the GBPACK scan.
  CartAnalysis(xchanger::CartAccess& cart, xchanger::EventPump& pump, SramView& view,
               CartListing& listing);

  // Clears log and grid, finds the X-Changer, identifies the card and runs
  // the scan that fits the cart.
  void AnalyseCart();
  void AnalyseSingleCart(const xchanger::CartHeader& header);
  void ScanGbpackCard();
  void ScanMenuCard();

 private:
  bool CartStillAnswers(std::span<const std::uint8_t> head);
  void AddGridRow();
  void RemoveGridRow();

  xchanger::CartAccess& cart_;
  xchanger::EventPump& pump_;
  SramView& view_;
  // The listing's fields, which the scans fill.
  SramGameTable& table_;
  bool& listed_;
  bool& cartFound_;
};

}  // namespace velwin::sramman
