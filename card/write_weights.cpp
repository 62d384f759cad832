#include "card/write_weights.h"

#include <algorithm>

#include "xchanger/link.h"

namespace velwin::card {
namespace {

// Port accesses per byte: a block read takes one read of the EPP data port
// per byte, or six accesses over SPP (two nibbles, each selected and read);
// a byte of a page load or write buffer is a flash write cycle with its
// address, about 28 accesses over EPP and 48 over SPP. An access takes about
// a microsecond on a real port.
constexpr std::uint32_t kEppReadUs = 1;
constexpr std::uint32_t kSppReadUs = 6;
constexpr std::uint32_t kEppLoadUs = 28;
constexpr std::uint32_t kSppLoadUs = 48;

}  // namespace

JobWeights WriteWeights(const xchanger::FlashChipSpec& chip, std::uint8_t linkMode) {
  const bool spp = linkMode == xchanger::kLinkModeSpp;
  JobWeights weights;
  weights.readUsPerByte = spp ? kSppReadUs : kEppReadUs;
  weights.loadUsPerByte = spp ? kSppLoadUs : kEppLoadUs;
  weights.eraseUs = chip.eraseTypicalUs;
  weights.programUs = chip.programTypicalUs;
  weights.programUnitBytes = std::max<std::uint32_t>(chip.programUnitBytes, 1);
  return weights;
}

std::uint64_t PlanWork(const JobWeights& weights, const WritePlan& plan) {
  std::uint64_t work = 0;
  for (const UnitPlan& unit : plan.units) {
    if (unit.erase)
      work += weights.eraseUs;
    for (const ProgramStep& step : unit.programs)
      work += weights.ProgramWork(step.length);
    work += weights.ReadWork(unit.length);
  }
  return work;
}

std::uint64_t MostWriteWork(const JobWeights& weights, const xchanger::FlashChipSpec& chip,
                            std::uint64_t imageBytes) {
  const std::uint64_t unit = chip.eraseUnitBytes != 0 ? chip.eraseUnitBytes : chip.programUnitBytes;
  const std::uint64_t units = (imageBytes + unit - 1) / unit;
  const std::uint64_t perUnit = (chip.eraseUnitBytes != 0 ? weights.eraseUs : 0) +
                                weights.ProgramWork(unit) + weights.ReadWork(unit);
  return units * perUnit;
}

}  // namespace velwin::card
