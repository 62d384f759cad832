#include "sram/sram_manager.h"

namespace velwin::sramman {
namespace {

// Restores the buttons' availability however the analysis ends.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
};

}  // namespace

SramManager::SramManager(xchanger::CartAccess& cart, xchanger::EventPump& pump, SramView& view)
    : analysis_(cart, pump, view, listing_), transfer_(cart, view, listing_) {}

void SramManager::AnalyseCart() {
  if (busy_)
    return;
  const BusyScope scope(busy_);
  analysis_.AnalyseCart();
}

void SramManager::AnalyseSingleCart(const xchanger::CartHeader& header) {
  analysis_.AnalyseSingleCart(header);
}

void SramManager::ScanGbpackCard() {
  analysis_.ScanGbpackCard();
}

void SramManager::ScanMenuCard() {
  analysis_.ScanMenuCard();
}

// The table is half built while an analysis runs, so a transfer asked for
// meanwhile does nothing.
SramManager::TransferResult SramManager::SaveMarked(const ChooseFile& chooseFile) {
  if (busy_)
    return {};
  return transfer_.SaveMarked(chooseFile);
}

SramManager::TransferResult SramManager::LoadMarked(const ChooseFile& chooseFile) {
  if (busy_)
    return {};
  return transfer_.LoadMarked(chooseFile);
}

}  // namespace velwin::sramman
