// The card write in simulated time: every port access of the simulated
// X-Changer takes 1 us and every wait advances its clock, so the figures are
// what the job would cost on a real port, free of this machine's speed. Each
// is reported as the ratio the budget is stated in, against a baseline
// computed or measured in the same run:
//   full write     job time / (1.15 x the chip's own time (erases, pages or
//                  buffers at their typical times) + 8 port accesses of
//                  1 us per programmed byte); at most 1
//   equal image    job time / a card read of the same range;
//   one byte       job time / (card read + one sector erase + that sector's
//                  programming at the chip's time and 8 accesses a byte);
// and the port accesses per loaded byte of each chip's page load, over EPP
// and over SPP: from one loaded byte's data cycle to the next.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/card/simulated_card_rig.h"
#include "card/card_kind.h"
#include "card/card_read_job.h"
#include "card/card_write_job.h"
#include "chips/flash_chip_table.h"
#include "chips/flash_driver.h"

namespace {

using velwin::card::bench::Figures;
using velwin::card::bench::Pattern;
using velwin::card::bench::Rig;

using velwin::card::JobControl;
using velwin::xchanger::CartAccess;
using velwin::xchanger::FlashChipSpec;
using velwin::xchanger::XChangerLink;
using velwin::xchanger::sim::SimConfig;
using velwin::xchanger::sim::SimulatedXChanger;

struct Run {
  std::uint64_t us = 0;
  std::uint64_t accesses = 0;
  velwin::card::CardWriteResult result;
};

Run WriteOnce(std::uint8_t mbit, const std::vector<std::uint8_t>& card,
              const std::vector<std::uint8_t>& image) {
  Rig rig(mbit, card);
  JobControl control;
  velwin::card::CardWriteOptions options;
  options.backup = false;  // the backup's file is not the link's time
  const std::uint64_t t0 = rig.Now();
  const std::uint64_t a0 = rig.Accesses();
  Run run;
  run.result = velwin::card::WriteCard(rig.cart, rig.port.Clock(), image, options, control,
                                       [](const std::string&) {});
  run.us = rig.Now() - t0;
  run.accesses = rig.Accesses() - a0;
  return run;
}

// What velwin-cli card read costs for the first bytes of the card: identify,
// every bank twice, the check that the cart still answers.
std::uint64_t CardReadUs(std::uint8_t mbit, const std::vector<std::uint8_t>& card,
                         std::uint64_t bytes) {
  Rig rig(mbit, card);
  JobControl control;
  const std::uint64_t t0 = rig.Now();
  const auto identified = velwin::card::IdentifyCard(rig.cart);
  std::vector<std::uint8_t> image;
  velwin::card::ReadCardImage(rig.cart, *identified.card, bytes, image, control);
  return rig.Now() - t0;
}

// The chip's own time for erasing erasures units and programming
// programUnits units at their typical times, and the port time the budget
// allows beside it: 8 accesses of 1 us per programmed byte.
double ChipOwnUs(const FlashChipSpec& chip, double erasures, double programUnits) {
  return erasures * chip.eraseTypicalUs + programUnits * chip.programTypicalUs;
}
double PortAllowanceUs(const FlashChipSpec& chip, double programUnits) {
  return 8.0 * programUnits * chip.programUnitBytes;
}

// Passes every access on to the simulated X-Changer and notes, for each
// flash write cycle that reaches the cart, how many accesses had gone before.
class FlashCycleCounter : public velwin::xchanger::PortIo {
 public:
  explicit FlashCycleCounter(SimulatedXChanger& sim) : sim_(sim) {}
  void PortWrite(std::uint16_t port, std::uint8_t value) override {
    ++accesses_;
    sim_.PortWrite(port, value);
    const std::uint64_t cycles = sim_.CartBusCounters().flashCommands;
    if (cycles != seen_) {
      seen_ = cycles;
      flashCycleAt.push_back(accesses_);
    }
  }
  std::uint8_t PortRead(std::uint16_t port) override {
    ++accesses_;
    return sim_.PortRead(port);
  }
  std::uint16_t ReadLptBase(int n) override { return sim_.ReadLptBase(n); }
  std::vector<std::uint64_t> flashCycleAt;

 private:
  SimulatedXChanger& sim_;
  std::uint64_t accesses_ = 0;
  std::uint64_t seen_ = 0;
};

// Port accesses per loaded byte of one program unit, in a bank that needs
// every switch the driver makes: from the first data byte's cycle to the
// last, over the bytes between.
double AccessesPerLoadedByte(std::uint8_t mbit, velwin::xchanger::sim::LinkModes modes) {
  const FlashChipSpec& chip = *velwin::xchanger::FlashChipForCard(mbit);
  SimConfig config =
      velwin::card::bench::CardConfig(mbit, std::vector<std::uint8_t>(chip.sizeBytes, 0xFF));
  config.modes = modes;
  SimulatedXChanger sim(std::move(config));
  FlashCycleCounter counter(sim);
  velwin::xchanger::SteadyTickCounter ticks;
  velwin::xchanger::NoEventPump pump;
  XChangerLink link(counter, ticks, pump);
  CartAccess cart(link);
  link.FindXChanger();
  const auto driver = velwin::xchanger::MakeFlashDriver(chip, cart, sim.Clock());
  const std::uint32_t address = 6 * 0x4000 + 2 * chip.programUnitBytes;  // bank 6
  const std::vector<std::uint8_t> bytes(chip.programUnitBytes, 0x5A);
  counter.flashCycleAt.clear();
  driver->Program(address, bytes);
  // The data bytes are the last cycles of the load, before the Intel
  // chip's closing D0 and the Macronix chip's reset out of status mode.
  const std::size_t closing = chip.family == velwin::xchanger::FlashFamily::kIntelBlockFlash ? 1
                              : chip.family == velwin::xchanger::FlashFamily::kMacronixSectorFlash
                                  ? 3
                                  : 0;
  const auto& at = counter.flashCycleAt;
  const std::size_t last = at.size() - 1 - closing;
  const std::size_t first = last + 1 - bytes.size();
  return static_cast<double>(at[last] - at[first]) / static_cast<double>(bytes.size() - 1);
}

void Report(benchmark::State& state, const std::string& name, double ratio) {
  state.counters["ratio"] = ratio;
  Figures()[name] = ratio;
}

void BM_FullWrite(benchmark::State& state) {
  const auto mbit = static_cast<std::uint8_t>(state.range(0));
  const FlashChipSpec& chip = *velwin::xchanger::FlashChipForCard(mbit);
  // Every page differs and every unit needs its erase.
  const auto card = Pattern(chip.sizeBytes, 1);
  const auto image = Pattern(chip.sizeBytes, 2);
  Run run;
  for (auto _ : state)
    run = WriteOnce(mbit, card, image);
  if (!run.result.verified) {
    state.SkipWithError(run.result.outcome.message.c_str());
    return;
  }
  const double units = chip.eraseUnitBytes ? chip.sizeBytes / chip.eraseUnitBytes : 0;
  const double programUnits = chip.sizeBytes / chip.programUnitBytes;
  const double own = ChipOwnUs(chip, units, programUnits);
  const double budget = 1.15 * own + PortAllowanceUs(chip, programUnits);
  const std::string name = std::to_string(mbit) + " Mbit";
  Report(state, name + " full write / budget", run.us / budget);
  Figures()[name + " full write / chip time"] = run.us / own;
  Figures()[name + " full write, simulated s"] = run.us / 1e6;
  Figures()[name + " full write budget, simulated s"] = budget / 1e6;
  // The accesses of the read that every write makes first are not the
  // programming's.
  const Run equal = WriteOnce(mbit, card, card);
  Figures()[name + " port accesses per programmed byte, polls included"] =
      static_cast<double>(run.accesses - equal.accesses) /
      static_cast<double>(run.result.programmedBytes);
  Figures()[name + " port accesses per loaded byte, EPP"] =
      AccessesPerLoadedByte(mbit, velwin::xchanger::sim::LinkModes::kEppOnly);
  Figures()[name + " port accesses per loaded byte, SPP"] =
      AccessesPerLoadedByte(mbit, velwin::xchanger::sim::LinkModes::kSppOnly);
}

void BM_EqualImage(benchmark::State& state) {
  const auto mbit = static_cast<std::uint8_t>(state.range(0));
  const FlashChipSpec& chip = *velwin::xchanger::FlashChipForCard(mbit);
  const auto card = Pattern(chip.sizeBytes, 3);
  Run run;
  for (auto _ : state)
    run = WriteOnce(mbit, card, card);
  Report(state, std::to_string(mbit) + " Mbit equal image / card read",
         static_cast<double>(run.us) / static_cast<double>(CardReadUs(mbit, card, chip.sizeBytes)));
}

// One byte of a 2 MiB image changed, a 0 turned into a 1: on the 16 Mbit
// card the image is the whole card, on the 64 Mbit card its first quarter.
void BM_OneByteChanged(benchmark::State& state) {
  const auto mbit = static_cast<std::uint8_t>(state.range(0));
  const FlashChipSpec& chip = *velwin::xchanger::FlashChipForCard(mbit);
  constexpr std::size_t kImageBytes = 2 * 1024 * 1024;
  const auto card = Pattern(chip.sizeBytes, 4);
  std::vector<std::uint8_t> image(card.begin(), card.begin() + kImageBytes);
  image[0x123456] = static_cast<std::uint8_t>(image[0x123456] ^ 0x81);
  Run run;
  for (auto _ : state)
    run = WriteOnce(mbit, card, image);
  if (!run.result.verified) {
    state.SkipWithError(run.result.outcome.message.c_str());
    return;
  }
  const double programUnits = static_cast<double>(chip.eraseUnitBytes / chip.programUnitBytes);
  const double budget = static_cast<double>(CardReadUs(mbit, card, kImageBytes)) +
                        ChipOwnUs(chip, 1, programUnits) + PortAllowanceUs(chip, programUnits);
  Report(state, std::to_string(mbit) + " Mbit one byte changed / (read + erase + programming)",
         run.us / budget);
}

BENCHMARK(BM_FullWrite)->Arg(4)->Arg(16)->Arg(64)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_EqualImage)->Arg(4)->Arg(16)->Arg(64)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_OneByteChanged)->Arg(16)->Arg(64)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  return velwin::card::bench::RunAndPrintFigures(argc, argv);
}
