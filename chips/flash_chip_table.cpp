#include "chips/flash_chip_table.h"

#include <algorithm>
#include <array>

namespace velwin::xchanger {

namespace {

constexpr std::uint32_t kKiB = 1024;

// Times in microseconds. The byte-load windows: the Winbond writes its page
// when no byte has come for 200 us; the Macronix starts programming 30 to
// 100 us after the last byte, so only the lower bound is sure.
//
// Winbond W29C040 (rev. A5): 2048 pages of 256 bytes; a page write takes
// 5 ms typical. The datasheet gives no maximum for it, so 10 ms is the
// budget.
//
// Macronix MX29F1610, the first revision (device 0xF1): 16 sectors of
// 128 KiB, 128-byte page program of about 3 ms, sector erase of about
// 150 ms. The figures of the later MX29F1610A (0.9 ms page, 1.3 s erase)
// belong to a different part and are not used. Maxima are not at hand for
// this revision: ten times the typical figure keeps a slow chip from being
// cut short.
//
// Intel 28F640J5: 64 blocks of 128 KiB, 32-byte write buffer at about 6 us a
// byte effective (192 us a buffer), block erase 1 s typical. The maxima are
// those of the family's AC tables (the J3 lists 654 us for a full buffer;
// the J5 block erase 5 s).
//
// The load gaps, in register writes of the drivers' page loads (a loaded
// byte is two: AddrLowReg and the data cycle). Both windowed chips may count
// their window from the page command (the Winbond does; the Macronix may),
// so the gap from the command to the first byte counts like any other. A
// page whose bank cannot take the command (the Winbond's needs an odd bank,
// the Macronix's one that is 2 modulo 4) gets its bank after it, so the
// first byte can come seven register writes after the command: ModeReg
// 0x80, the bank register's address and value, ModeReg 0x82, AddrLowReg,
// AddrHighReg, the data. Every later gap is one byte.
constexpr std::array<FlashChipSpec, 3> kChips{{
    {"Winbond W29C040", 4, 0xDA, 0x46, 512 * kKiB, 0, "page", 256, 5'000, 10'000, 0, 0,
     FlashFamily::kWinbondPageWrite, 200, 3.5},
    {"Macronix MX29F1610", 16, 0xC2, 0xF1, 2048 * kKiB, 128 * kKiB, "sector", 128, 3'000, 30'000,
     150'000, 1'500'000, FlashFamily::kMacronixSectorFlash, 30, 3.5},
    {"Intel 28F640J5", 64, 0x89, 0x15, 8192 * kKiB, 128 * kKiB, "block", 32, 192, 654, 1'000'000,
     5'000'000, FlashFamily::kIntelBlockFlash, 0, 0.0},
}};

}  // namespace

std::span<const FlashChipSpec> FlashChipTable() {
  return kChips;
}

const FlashChipSpec* FlashChipForCard(std::uint8_t cardMbit) {
  const auto it = std::find_if(kChips.begin(), kChips.end(), [cardMbit](const FlashChipSpec& c) {
    return c.cardMbit == cardMbit;
  });
  return it == kChips.end() ? nullptr : &*it;
}

}  // namespace velwin::xchanger
