// Cost of moving one 8 KB SRAM bank over the link: port accesses per byte
// (what the parallel port's bus speed multiplies), and the software time per
// port access through the simulated X-Changer, against a port that does
// nothing measured in the same run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "sim/simulated_xchanger.h"
#include "xchanger/cart_access.h"

namespace velwin::xchanger {
namespace {

constexpr double kSramBankBytes = 8192;

// A port with nothing behind it: the floor of what the link itself costs.
class NullPort : public PortIo {
 public:
  void PortWrite(std::uint16_t, std::uint8_t value) override { benchmark::DoNotOptimize(value); }
  std::uint8_t PortRead(std::uint16_t port) override { return static_cast<std::uint8_t>(port); }
  std::uint16_t ReadLptBase(int n) override { return n == 1 ? 0x378 : 0; }
};

// Counts what passes through to another port.
class CountingPort : public PortIo {
 public:
  explicit CountingPort(PortIo& inner) : inner_(inner) {}
  void PortWrite(std::uint16_t port, std::uint8_t value) override {
    ++accesses;
    inner_.PortWrite(port, value);
  }
  std::uint8_t PortRead(std::uint16_t port) override {
    ++accesses;
    return inner_.PortRead(port);
  }
  std::uint16_t ReadLptBase(int n) override { return inner_.ReadLptBase(n); }
  std::uint64_t accesses = 0;

 private:
  PortIo& inner_;
};

enum Backend { kSimulated, kNull };
enum Direction { kRead, kWrite };

std::unique_ptr<PortIo> MakePort(Backend backend, std::uint8_t mode) {
  if (backend == kNull) {
    return std::make_unique<NullPort>();
  }
  sim::SimConfig config;
  config.hasCart = true;
  config.card = sim::FlashChip::k16Mbit;
  config.sram.assign(16 * 0x2000, 0);
  config.modes = mode == kLinkModeEpp ? sim::LinkModes::kEppOnly : sim::LinkModes::kSppOnly;
  return std::make_unique<sim::SimulatedXChanger>(std::move(config));
}

std::uint8_t Transfer(CartAccess& access, Direction direction) {
  return direction == kRead ? access.ReadSramBank(3) : access.WriteSramBank(3);
}

void SramBank(benchmark::State& state, Backend backend, std::uint8_t mode, Direction direction) {
  auto port = MakePort(backend, mode);
  SteadyTickCounter ticks;
  NoEventPump pump;

  // Count one bank's accesses through a counting wrapper, then time the
  // bare backend.
  CountingPort counting(*port);
  XChangerLink countedLink(counting, ticks, pump);
  countedLink.ProbePort(0x378, mode);
  CartAccess countedAccess(countedLink);
  counting.accesses = 0;
  Transfer(countedAccess, direction);
  const auto accessesPerBank = static_cast<double>(counting.accesses);

  XChangerLink link(*port, ticks, pump);
  if (backend == kSimulated && !link.FindXChanger()) {
    state.SkipWithError("the simulated X-Changer was not found");
    return;
  }
  link.ProbePort(0x378, mode);
  CartAccess access(link);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Transfer(access, direction));
  }
  state.counters["accesses_per_byte"] = accessesPerBank / kSramBankBytes;
  // CPU seconds per port access: the software's share, whatever the bus.
  state.counters["time_per_access"] =
      benchmark::Counter(accessesPerBank * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Keeps each run's figures so the summary can put the simulated backend
// beside the null port of the same run.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions, the median stands for the benchmark.
      if (run.error_occurred ||
          (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")) {
        continue;
      }
      figures_[run.run_name.function_name] = {run.counters.at("accesses_per_byte").value,
                                              run.counters.at("time_per_access").value};
    }
  }

  // Prints the summary; false when a figure is over its limit.
  bool Summarise() const {
    struct Limit {
      const char* name;
      double accessesPerByte;
    };
    const Limit limits[] = {
        {"EppRead", 1.10}, {"EppWrite", 1.10}, {"SppRead", 6.2}, {"SppWrite", 3.2}};
    bool ok = true;
    std::printf("\n%-9s %16s %14s %14s %10s\n", "transfer", "accesses/byte", "sim ns/access",
                "null ns/access", "sim/null");
    for (const Limit& limit : limits) {
      const auto sim = figures_.find(std::string("Sim") + limit.name);
      const auto null = figures_.find(std::string("Null") + limit.name);
      if (sim == figures_.end() || null == figures_.end()) {
        continue;
      }
      const double ratio = sim->second.secondsPerAccess / null->second.secondsPerAccess;
      std::printf("%-9s %16.3f %14.2f %14.2f %10.2f\n", limit.name, sim->second.accessesPerByte,
                  sim->second.secondsPerAccess * 1e9, null->second.secondsPerAccess * 1e9, ratio);
      if (sim->second.accessesPerByte > limit.accessesPerByte) {
        std::printf("  over the limit of %.2f port accesses per byte\n", limit.accessesPerByte);
        ok = false;
      }
      if (sim->second.secondsPerAccess * 1e9 >= 50.0) {
        std::printf("  the simulated backend costs 50 ns or more per access\n");
        ok = false;
      }
    }
    return ok;
  }

 private:
  struct Figures {
    double accessesPerByte;
    double secondsPerAccess;  // the inverted rate
  };
  std::map<std::string, Figures> figures_;
};

void RegisterSramBenchmarks() {
  struct Case {
    const char* name;
    std::uint8_t mode;
    Direction direction;
  };
  for (const Case c :
       {Case{"EppRead", kLinkModeEpp, kRead}, Case{"EppWrite", kLinkModeEpp, kWrite},
        Case{"SppRead", kLinkModeSpp, kRead}, Case{"SppWrite", kLinkModeSpp, kWrite}}) {
    for (const Backend backend : {kSimulated, kNull}) {
      const std::string name = std::string(backend == kSimulated ? "Sim" : "Null") + c.name;
      benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
        SramBank(state, backend, c.mode, c.direction);
      })->Unit(benchmark::kMicrosecond);
    }
  }
}

}  // namespace
}  // namespace velwin::xchanger

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  velwin::xchanger::RegisterSramBenchmarks();
  velwin::xchanger::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.Summarise() ? 0 : 1;
}
