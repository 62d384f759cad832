// "Analyse Cart" on the simulated X-Changer over a fuzzed card. The first
// input byte sets the card and where the Game Boy logo is stamped (without
// it nearly every card would end at "No Cart found"); the rest fills the
// first 512 bytes of one 16 KB bank after another, the bytes a header read
// sees (bank 1, the directory of a VELTRA card, gets its first 512 bytes
// the same way). Whatever the card holds, the grid keeps at least one row,
// and games count as listed only when a row shows one.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gbheader/header_logo.h"
#include "tests/sram/sim_rig.h"

namespace {

constexpr std::size_t kBank = 16384;
constexpr std::size_t kSlice = 512;
constexpr std::size_t kMaxBanks = 32;  // the smallest card holds 32 banks

using velwin::xchanger::sim::FlashChip;

void StampLogo(std::vector<std::uint8_t>& rom, std::size_t bank) {
  std::copy(
      velwin::gbheader::HeaderLogo.begin(), velwin::gbheader::HeaderLogo.end(),
      rom.begin() + static_cast<std::ptrdiff_t>(bank * kBank + velwin::gbheader::kLogoOffset));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const std::uint8_t control = data[0];
  const FlashChip chips[] = {FlashChip::k4Mbit, FlashChip::k16Mbit, FlashChip::k64Mbit,
                             FlashChip::kNone};
  const FlashChip chip = chips[control & 3];

  const std::size_t banks = std::clamp<std::size_t>((size - 1 + kSlice - 1) / kSlice, 2, kMaxBanks);
  std::vector<std::uint8_t> rom(banks * kBank, 0xFF);
  for (std::size_t b = 0; b < banks; ++b) {
    const std::size_t from = 1 + b * kSlice;
    if (from >= size)
      break;
    const std::size_t count = std::min(kSlice, size - from);
    std::copy_n(data + from, count, rom.begin() + static_cast<std::ptrdiff_t>(b * kBank));
  }
  if ((control & 4) != 0)
    StampLogo(rom, 0);
  if ((control & 8) != 0) {
    for (std::size_t b = 2; b < banks; ++b)
      StampLogo(rom, b);
  }

  velwin::sramman::testing::SimRig rig(velwin::sramman::testing::CartConfig(rom, chip));
  rig.manager.AnalyseCart();

  const int rows = rig.view.RowCount();
  if (rows < 1)
    std::abort();
  bool anyListed = false;
  for (int r = 0; r < rows; ++r) {
    if (!rig.view.Cell(0, r).empty() || !rig.view.Cell(1, r).empty())
      anyListed = true;
  }
  if (rig.manager.SramGamesListed() && !anyListed)
    std::abort();
  return 0;
}
