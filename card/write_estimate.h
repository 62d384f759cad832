#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "chips/flash_chip_table.h"
#include "chips/link_timing.h"

namespace velwin::card {

// How long a write of image onto chip should take at most, in seconds,
// known before the card is read: the card read twice (whole for a backup),
// then every erase unit the image reaches erased, every page or buffer that
// may differ programmed and every unit read back, at the chip's typical
// erase and program times and the link's measured pace (linkMode says how
// many port accesses a read byte costs), with a margin for the job's own
// commands and status polls. A card that already holds parts of the image
// takes less; a chip slower than typical, more.
double MostWriteSeconds(const xchanger::FlashChipSpec& chip, std::span<const std::uint8_t> image,
                        bool backup, std::uint8_t linkMode, const xchanger::LinkTiming& link);

// "Time: up to about 2 min 5 s (the chip's typical erase and program times,
// over the link as timed just now)."
std::string WriteTimeText(double seconds);

}  // namespace velwin::card
