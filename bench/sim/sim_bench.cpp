// Cost of one port access on the simulated X-Changer, against the cheapest
// possible port backend (a virtual call that stores or loads one byte)
// measured in the same run. The ratios are printed after the table.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "sim/simulated_xchanger.h"

namespace {

using velwin::xchanger::PortIo;
using velwin::xchanger::sim::FlashChip;
using velwin::xchanger::sim::SimConfig;
using velwin::xchanger::sim::SimulatedXChanger;

// The floor: what any backend costs through the interface.
class ArrayPorts final : public PortIo {
 public:
  void PortWrite(std::uint16_t port, std::uint8_t value) override { bytes_[port & 0x3FF] = value; }
  std::uint8_t PortRead(std::uint16_t port) override { return bytes_[port & 0x3FF]; }
  std::uint16_t ReadLptBase(int) override { return 0x378; }

 private:
  std::array<std::uint8_t, 0x400> bytes_{};
};

SimConfig CartWithSram() {
  SimConfig config;
  config.hasCart = true;
  config.card = FlashChip::k64Mbit;
  config.rom.assign(0x100000, 0x5A);
  config.sram.assign(0x20000, 0xA5);
  return config;
}

// Selects DataReg in block mode at the start of SRAM bank 0.
void StartBlockTransfer(PortIo& io) {
  const auto epp = [&io](std::uint8_t reg, std::uint8_t value) {
    io.PortWrite(0x37A, 0x01);
    io.PortWrite(0x37B, reg);
    io.PortWrite(0x37C, value);
  };
  epp(2, 0x80);
  epp(1, 0x00);
  epp(0, 0x00);
  epp(3, 0x0A);  // enable SRAM
  epp(2, 0x81);
  epp(1, 0xA0);
  epp(0, 0x00);
  io.PortWrite(0x37A, 0x01);
  io.PortWrite(0x37B, 3);
}

// Selects DataReg in single mode at the start of ROM bank 1: every read
// goes through the flash chip model, as the sixteen million of a card read
// do (single mode keeps the address inside the ROM for any iteration count).
void StartRomTransfer(PortIo& io) {
  const auto epp = [&io](std::uint8_t reg, std::uint8_t value) {
    io.PortWrite(0x37A, 0x01);
    io.PortWrite(0x37B, reg);
    io.PortWrite(0x37C, value);
  };
  epp(2, 0x80);
  epp(1, 0x40);
  epp(0, 0x00);
  io.PortWrite(0x37A, 0x01);
  io.PortWrite(0x37B, 3);
  io.PortWrite(0x37A, 0x00);
}

// An EPP block write: one port write per byte.
template <typename Ports>
void WriteBytes(benchmark::State& state, Ports& ports) {
  PortIo* io = &ports;
  benchmark::DoNotOptimize(io);
  StartBlockTransfer(*io);
  std::uint8_t value = 0;
  for (auto _ : state) {
    for (int i = 0; i < 256; ++i)
      io->PortWrite(0x37C, value++);
  }
  state.SetItemsProcessed(state.iterations() * 256);
}

// An EPP block read: one port read per byte.
template <typename Ports>
void ReadBytes(benchmark::State& state, Ports& ports) {
  PortIo* io = &ports;
  benchmark::DoNotOptimize(io);
  StartBlockTransfer(*io);
  io->PortWrite(0x37A, 0x00);
  for (auto _ : state) {
    for (int i = 0; i < 256; ++i)
      benchmark::DoNotOptimize(io->PortRead(0x37C));
  }
  state.SetItemsProcessed(state.iterations() * 256);
}

// EPP reads of the flash card.
template <typename Ports>
void ReadRomBytes(benchmark::State& state, Ports& ports) {
  PortIo* io = &ports;
  benchmark::DoNotOptimize(io);
  StartRomTransfer(*io);
  for (auto _ : state) {
    for (int i = 0; i < 256; ++i)
      benchmark::DoNotOptimize(io->PortRead(0x37C));
  }
  state.SetItemsProcessed(state.iterations() * 256);
}

// An SPP byte read: four control writes and two status reads per byte.
template <typename Ports>
void SppReadBytes(benchmark::State& state, Ports& ports) {
  PortIo* io = &ports;
  benchmark::DoNotOptimize(io);
  StartBlockTransfer(*io);
  for (auto _ : state) {
    for (int i = 0; i < 256; ++i) {
      io->PortWrite(0x37A, 0x00);
      io->PortWrite(0x37A, 0x02);
      const std::uint8_t low = io->PortRead(0x379);
      io->PortWrite(0x37A, 0x06);
      const std::uint8_t high = io->PortRead(0x379);
      io->PortWrite(0x37A, 0x00);
      benchmark::DoNotOptimize(((high << 1) & 0xF0) | ((low >> 3) & 0x0F));
    }
  }
  state.SetItemsProcessed(state.iterations() * 256 * 6);
}

void BM_BaselineWrite(benchmark::State& state) {
  ArrayPorts ports;
  WriteBytes(state, ports);
}
void BM_SimulatedWrite(benchmark::State& state) {
  SimulatedXChanger sim(CartWithSram());
  WriteBytes(state, sim);
}
void BM_BaselineRead(benchmark::State& state) {
  ArrayPorts ports;
  ReadBytes(state, ports);
}
void BM_SimulatedRead(benchmark::State& state) {
  SimulatedXChanger sim(CartWithSram());
  ReadBytes(state, sim);
}
void BM_BaselineRomRead(benchmark::State& state) {
  ArrayPorts ports;
  ReadRomBytes(state, ports);
}
void BM_SimulatedRomRead(benchmark::State& state) {
  SimulatedXChanger sim(CartWithSram());
  ReadRomBytes(state, sim);
}
void BM_BaselineSppRead(benchmark::State& state) {
  ArrayPorts ports;
  SppReadBytes(state, ports);
}
void BM_SimulatedSppRead(benchmark::State& state) {
  SimulatedXChanger sim(CartWithSram());
  SppReadBytes(state, sim);
}

BENCHMARK(BM_BaselineWrite);
BENCHMARK(BM_SimulatedWrite);
BENCHMARK(BM_BaselineRead);
BENCHMARK(BM_SimulatedRead);
BENCHMARK(BM_BaselineRomRead);
BENCHMARK(BM_SimulatedRomRead);
BENCHMARK(BM_BaselineSppRead);
BENCHMARK(BM_SimulatedSppRead);

// Keeps the time per port access of each run for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions, the mean stands for the benchmark.
      const bool single = run.run_type == Run::RT_Iteration;
      if (!single && run.aggregate_name != "mean")
        continue;
      const auto items = run.counters.find("items_per_second");
      if (items != run.counters.end() && items->second.value > 0) {
        nsPerAccess_[run.run_name.function_name] = 1e9 / items->second.value;
      }
    }
  }

  void PrintRatios() const {
    std::printf("\nper port access   simulated   baseline   ratio\n");
    for (const char* kind : {"Write", "Read", "RomRead", "SppRead"}) {
      const auto sim = nsPerAccess_.find(std::string("BM_Simulated") + kind);
      const auto base = nsPerAccess_.find(std::string("BM_Baseline") + kind);
      if (sim == nsPerAccess_.end() || base == nsPerAccess_.end())
        continue;
      std::printf("%-16s %8.2f ns %8.2f ns %7.2fx\n", kind, sim->second, base->second,
                  sim->second / base->second);
    }
  }

 private:
  std::map<std::string, double> nsPerAccess_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
