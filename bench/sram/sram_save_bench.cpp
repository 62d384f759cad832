// Saving (and, further down, loading) the Game Boy Camera's 1024 kbit SRAM (16 banks) through the
// simulated X-Changer in EPP mode, as "Save Marked" does it.
//
// On real hardware every port access takes about 1 us on the ISA-speed
// parallel port, so a bank costs (port accesses x 1 us) however fast the
// program is. The counters set the program's own time against that, and
// against a baseline measured in the same iterations:
// - "port_accesses_per_bank": accesses the link makes per 8 KB bank;
// - "software_us_per_bank": wall time of the save per bank, simulation,
//   link, transfer loop and file writes included, and the flushes of the
//   file and its folder that make the backup last (their time is the
//   disk's, and varies with it; the CPU time column shows the rest);
// - "x_port_time": software time over (accesses x 1 us), the share the
//   program adds to the port's own time; must stay below 0.05;
// - "x_file_write": software time over writing the same 16 blocks of 8 KB
//   to the same file with nothing else, the floor for the file part.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fileio/byte_file.h"
#include "sim/cart_image.h"
#include "sim/simulated_xchanger.h"
#include "sram/sram_manager.h"
#include "tests/sram/sim_rig.h"
#include "tests/support/temp_dir.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace velwin;

constexpr double kPortAccessSeconds = 1e-6;
constexpr int kCameraBanks = 16;

xchanger::sim::SimConfig CameraConfig() {
  xchanger::sim::SimConfig config;
  config.hasCart = true;
  xchanger::sim::CartHeaderFields camera;
  camera.title = "GAMEBOYCAMERA";
  camera.cartType = 0xFC;
  camera.romSizeCode = 0x05;
  camera.ramSizeCode = 0x04;
  xchanger::sim::WriteCartHeader(config.rom, 0, camera);
  config.card = xchanger::sim::FlashChip::kNone;
  config.modes = xchanger::sim::LinkModes::kEppOnly;
  config.sram.resize(kCameraBanks * 8192);
  for (std::size_t i = 0; i < config.sram.size(); ++i) {
    config.sram[i] = static_cast<std::uint8_t>(i * 7 + i / 8192);
  }
  return config;
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_SaveCameraSramEpp(benchmark::State& state) {
  const velwin::testing::TempDir temp;
  const fs::path& dir = temp.Path();
  const std::string savPath = (dir / "camera.sav").string();
  const std::string basePath = (dir / "baseline.sav").string();

  sramman::testing::SimRig rig(CameraConfig());
  auto& sim = rig.sim;
  auto& manager = rig.manager;
  manager.AnalyseCart();
  if (!manager.SramGamesListed()) {
    state.SkipWithError("the camera was not found");
    return;
  }
  const auto choose = [&savPath] { return std::optional<std::string>(savPath); };
  const std::vector<std::uint8_t> block(8192, 0x5A);

  double saveSeconds = 0;
  double baseSeconds = 0;
  std::uint64_t accesses = 0;
  for (auto _ : state) {
    const auto before = sim.Counters();
    const auto start = Clock::now();
    const auto result = manager.SaveMarked(choose);
    const double elapsed = SecondsSince(start);
    if (!result.succeeded) {
      state.SkipWithError("the save failed");
      break;
    }
    const auto after = sim.Counters();
    accesses += (after.reads - before.reads) + (after.writes - before.writes);
    saveSeconds += elapsed;
    state.SetIterationTime(elapsed);

    const auto baseStart = Clock::now();
    auto file = fileio::ByteFile::Create(basePath);
    for (int bank = 0; bank < kCameraBanks; ++bank)
      file.Write(block);
    file.Close();
    baseSeconds += SecondsSince(baseStart);
  }

  const double banks = static_cast<double>(state.iterations()) * kCameraBanks;
  const double accessesPerBank = static_cast<double>(accesses) / banks;
  const double softwarePerBank = saveSeconds / banks;
  state.counters["port_accesses_per_bank"] = accessesPerBank;
  state.counters["software_us_per_bank"] = softwarePerBank * 1e6;
  state.counters["x_port_time"] = softwarePerBank / (accessesPerBank * kPortAccessSeconds);
  state.counters["x_file_write"] = saveSeconds / baseSeconds;
  state.SetBytesProcessed(static_cast<std::int64_t>(banks) * 8192);
}
BENCHMARK(BM_SaveCameraSramEpp)->UseManualTime()->Unit(benchmark::kMillisecond);

// Loading the camera's 1024 kbit with the read-back verify, against the same
// sixteen bank writes without it, measured in the same iterations:
// - "x_verify_accesses": port accesses of the verified load over those of
//   the writes alone; the verify may at most double them (2.0);
// - "x_verify_time": the same ratio in wall time;
// - "port_accesses_per_load", "write_only_accesses".
void BM_LoadCameraSramEppVerified(benchmark::State& state) {
  const velwin::testing::TempDir temp;
  const std::string savPath = (temp.Path() / "camera.sav").string();
  std::vector<std::uint8_t> image(kCameraBanks * 8192);
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<std::uint8_t>(i * 13 + i / 8192);
  {
    auto file = fileio::ByteFile::Create(savPath);
    file.Write(image);
    file.Close();
  }

  sramman::testing::SimRig rig(CameraConfig());
  auto& sim = rig.sim;
  auto& cart = rig.cart;
  auto& manager = rig.manager;
  manager.AnalyseCart();
  if (!manager.SramGamesListed()) {
    state.SkipWithError("the camera was not found");
    return;
  }
  const auto choose = [&savPath] { return std::optional<std::string>(savPath); };

  double loadSeconds = 0;
  double writeSeconds = 0;
  std::uint64_t loadAccesses = 0;
  std::uint64_t writeAccesses = 0;
  const auto total = [&sim] { return sim.Counters().reads + sim.Counters().writes; };
  for (auto _ : state) {
    const std::uint64_t before = total();
    const auto start = Clock::now();
    const auto result = manager.LoadMarked(choose);
    const double elapsed = SecondsSince(start);
    if (!result.succeeded) {
      state.SkipWithError("the load failed");
      break;
    }
    loadAccesses += total() - before;
    loadSeconds += elapsed;
    state.SetIterationTime(elapsed);

    // The load as it was before the verify: the sixteen bank writes.
    const std::uint64_t writeBefore = total();
    const auto writeStart = Clock::now();
    for (int bank = 0; bank < kCameraBanks; ++bank) {
      std::copy_n(image.begin() + bank * 8192, 8192, cart.TransferBuffer().begin());
      cart.WriteSramBank(static_cast<std::uint8_t>(bank));
    }
    writeSeconds += SecondsSince(writeStart);
    writeAccesses += total() - writeBefore;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["port_accesses_per_load"] = static_cast<double>(loadAccesses) / n;
  state.counters["write_only_accesses"] = static_cast<double>(writeAccesses) / n;
  state.counters["x_verify_accesses"] =
      static_cast<double>(loadAccesses) / static_cast<double>(writeAccesses);
  state.counters["x_verify_time"] = loadSeconds / writeSeconds;
}
BENCHMARK(BM_LoadCameraSramEppVerified)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
