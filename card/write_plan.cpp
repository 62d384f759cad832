#include "card/write_plan.h"

#include <algorithm>

namespace velwin::card {

namespace {

bool Differs(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  return !std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// A bit that is 0 on the card and 1 in the target needs an erase.
bool NeedsErase(std::span<const std::uint8_t> old, std::span<const std::uint8_t> target) {
  for (std::size_t i = 0; i < old.size(); ++i) {
    if ((target[i] & static_cast<std::uint8_t>(~old[i])) != 0) {
      return true;
    }
  }
  return false;
}

bool AllErased(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

}  // namespace

std::vector<std::uint8_t> TargetContents(std::span<const std::uint8_t> old,
                                         std::span<const std::uint8_t> image) {
  std::vector<std::uint8_t> target(old.begin(), old.end());
  std::copy_n(image.begin(), std::min(image.size(), target.size()), target.begin());
  return target;
}

WritePlan PlanWrite(const xchanger::FlashChipSpec& chip, std::span<const std::uint8_t> old,
                    std::span<const std::uint8_t> target) {
  WritePlan plan;
  const std::uint32_t size = static_cast<std::uint32_t>(std::min(old.size(), target.size()));
  const std::uint32_t unitBytes =
      chip.eraseUnitBytes != 0 ? chip.eraseUnitBytes : chip.programUnitBytes;
  for (std::uint32_t unit = 0; unit < size; unit += unitBytes) {
    const std::uint32_t unitLength = std::min(unitBytes, size - unit);
    const auto oldUnit = old.subspan(unit, unitLength);
    const auto targetUnit = target.subspan(unit, unitLength);
    if (!Differs(oldUnit, targetUnit)) {
      continue;
    }
    UnitPlan unitPlan;
    unitPlan.address = unit;
    unitPlan.length = unitLength;
    unitPlan.erase = chip.eraseUnitBytes != 0 && NeedsErase(oldUnit, targetUnit);
    for (std::uint32_t step = 0; step < unitLength; step += chip.programUnitBytes) {
      const std::uint32_t length = std::min(chip.programUnitBytes, unitLength - step);
      const auto oldStep = oldUnit.subspan(step, length);
      const auto targetStep = targetUnit.subspan(step, length);
      const bool program = unitPlan.erase ? !AllErased(targetStep) : Differs(oldStep, targetStep);
      if (program) {
        unitPlan.programs.push_back({unit + step, length});
        plan.programmedBytes += length;
      }
    }
    plan.erasedUnits += unitPlan.erase ? 1 : 0;
    plan.units.push_back(std::move(unitPlan));
  }
  return plan;
}

}  // namespace velwin::card
