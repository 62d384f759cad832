#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "chips/flash_chip_table.h"

namespace velwin::card {

// One program operation: a page or a write buffer, with the bytes the card
// must hold there afterwards.
struct ProgramStep {
  std::uint32_t address;
  std::uint32_t length = 0;
};

// One erase unit that the write touches, in address order: erased first when
// needed, then its program steps.
struct UnitPlan {
  std::uint32_t address = 0;  // first byte of the sector, block or (4 Mbit) page
  std::uint32_t length = 0;
  bool erase = false;
  std::vector<ProgramStep> programs;
};

struct WritePlan {
  std::vector<UnitPlan> units;  // only units that need an erase or a program
  std::uint32_t erasedUnits = 0;
  std::uint64_t programmedBytes = 0;
};

// What the card must hold after a write: the image from address 0, and the
// old contents past its end.
std::vector<std::uint8_t> TargetContents(std::span<const std::uint8_t> old,
                                         std::span<const std::uint8_t> image);

// Plans the least work that turns old into target (same size) on chip:
// - a chip whose page write erases the page by itself (no erase unit)
//   rewrites every page that differs, whole;
// - elsewhere a unit is erased only where target turns a 0 bit into a 1;
//   then every program unit of an erased unit that is not all 0xFF in
//   target is programmed, and in a unit that is not erased every program
//   unit that differs (programming can only clear bits, which is all it
//   has to do there).
WritePlan PlanWrite(const xchanger::FlashChipSpec& chip, std::span<const std::uint8_t> old,
                    std::span<const std::uint8_t> target);

}  // namespace velwin::card
