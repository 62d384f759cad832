// Reading a whole 16 Mbit card through the simulated X-Changer in EPP mode,
// as "card read" does it (the card found and identified, every bank read
// twice and compared, the cart checked at the end, progress drawn), against
// a baseline measured in the same iterations: every bank read once with the
// ROM block read and nothing else.
// - "x_block_read_accesses": port accesses of the card read over those of
//   the baseline; the double read is the 2x, so at most 2.02;
// - "software_ns_per_access": wall time of the card read per port access,
//   simulation, link, compare and progress included; under 20;
//   "software_cpu_ns_per_access" the same in the thread's CPU time, the
//   figure to quote from a busy machine;
// - "baseline_ns_per_access": the same for the baseline, the link and the
//   simulation alone ("baseline_cpu_ns_per_access" in CPU time), and "x_baseline_ns_per_access",
//   the card read's cost per access over the baseline's: what the job itself adds;
// - "port_accesses", "baseline_accesses": per read.

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <sstream>
#include <vector>

#include "card/card_kind.h"
#include "card/card_read_job.h"
#include "cli/progress_line.h"
#include "port/port_io.h"
#include "sim/cart_image.h"
#include "sim/simulated_xchanger.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace velwin;

constexpr std::uint32_t kCardBytes = 2 * 1024 * 1024;

xchanger::sim::SimConfig CardConfig(xchanger::sim::LinkModes modes) {
  xchanger::sim::SimConfig config;
  config.hasCart = true;
  config.rom.resize(kCardBytes);
  for (std::size_t i = 0; i < config.rom.size(); ++i)
    config.rom[i] = static_cast<std::uint8_t>(i * 7 + i / 16384);
  xchanger::sim::CartHeaderFields game;
  game.title = "BENCH";
  game.romSizeCode = 0x06;
  xchanger::sim::WriteCartHeader(config.rom, 0, game);
  config.card = xchanger::sim::FlashChip::k16Mbit;
  config.modes = modes;
  return config;
}

// The identification waits 10 ms on this clock; it moves on at once.
class SteppingTicks : public xchanger::TickCounter {
 public:
  std::uint32_t GetTickCount() override { return now_ += 5; }

 private:
  std::uint32_t now_ = 0;
};

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The CPU time of this thread: on a machine shared with other work the wall
// time counts their turns too.
double ThreadCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_CardRead16Mbit(benchmark::State& state) {
  const auto modes =
      state.range(0) == 0 ? xchanger::sim::LinkModes::kEppOnly : xchanger::sim::LinkModes::kSppOnly;
  xchanger::sim::SimulatedXChanger sim(CardConfig(modes));
  SteppingTicks ticks;
  xchanger::NoEventPump pump;
  xchanger::XChangerLink link(sim, ticks, pump);
  xchanger::CartAccess cart(link);
  const auto total = [&sim] { return sim.Counters().reads + sim.Counters().writes; };

  // The progress line as a terminal would get it, into memory.
  std::ostringstream terminal;
  cli::ProgressLine line(terminal, true);
  card::JobControl control([&line](const card::JobProgress& progress) { line.Show(progress); });

  std::vector<std::uint8_t> image;
  double readSeconds = 0;
  double baseSeconds = 0;
  double readCpuSeconds = 0;
  double baseCpuSeconds = 0;
  std::uint64_t readAccesses = 0;
  std::uint64_t baseAccesses = 0;
  for (auto _ : state) {
    const std::uint64_t before = total();
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuSeconds();
    const card::CardIdentification found = card::IdentifyCard(cart);
    if (!found.card) {
      state.SkipWithError("no card found");
      return;
    }
    const card::JobOutcome outcome =
        card::ReadCardImage(cart, *found.card, found.card->Bytes(), image, control);
    const double elapsed = SecondsSince(start);
    readCpuSeconds += ThreadCpuSeconds() - cpuStart;
    if (!outcome.Ok() || image.size() != kCardBytes) {
      state.SkipWithError("the read failed");
      return;
    }
    readAccesses += total() - before;
    readSeconds += elapsed;
    state.SetIterationTime(elapsed);

    const std::uint64_t baseBefore = total();
    const auto baseStart = Clock::now();
    const double baseCpuStart = ThreadCpuSeconds();
    for (std::uint16_t bank = 0; bank < kCardBytes / card::kRomBankBytes; ++bank)
      cart.ReadMenuDirectory(bank);
    baseSeconds += SecondsSince(baseStart);
    baseCpuSeconds += ThreadCpuSeconds() - baseCpuStart;
    baseAccesses += total() - baseBefore;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["port_accesses"] = static_cast<double>(readAccesses) / n;
  state.counters["baseline_accesses"] = static_cast<double>(baseAccesses) / n;
  state.counters["x_block_read_accesses"] =
      static_cast<double>(readAccesses) / static_cast<double>(baseAccesses);
  state.counters["software_ns_per_access"] = readSeconds * 1e9 / static_cast<double>(readAccesses);
  state.counters["baseline_ns_per_access"] = baseSeconds * 1e9 / static_cast<double>(baseAccesses);
  state.counters["software_cpu_ns_per_access"] =
      readCpuSeconds * 1e9 / static_cast<double>(readAccesses);
  state.counters["baseline_cpu_ns_per_access"] =
      baseCpuSeconds * 1e9 / static_cast<double>(baseAccesses);
  state.counters["x_baseline_ns_per_access"] = (readSeconds / static_cast<double>(readAccesses)) /
                                               (baseSeconds / static_cast<double>(baseAccesses));
  state.SetBytesProcessed(static_cast<std::int64_t>(n) * kCardBytes);
}
BENCHMARK(BM_CardRead16Mbit)
    ->ArgName("spp")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
