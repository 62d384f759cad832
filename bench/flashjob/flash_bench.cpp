// The flash job on 64 ROMs of 1 MiB against what a user would do by hand:
// rm -f of the previous copies, then cp of the same files into the
// directory. Each iteration runs both, so the ratio (counter "x_rm_cp", job
// time over rm + cp time; "x_cp" over cp alone) comes from the same run and
// the same cache state.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/ips/command_baseline.h"
#include "flashjob/flash_job.h"
#include "gbheader/header_logo.h"
#include "rom/status_line.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRomCount = 64;
constexpr std::size_t kRomSize = 1024 * 1024;

// The job's work ends where the tool would start; starting it is not
// measured.
class NoTool : public velwin::flash::ToolLauncher {
 public:
  std::error_code Start(const std::string&, const std::vector<std::string>&,
                        const std::string&) override {
    return {};
  }
};

struct RomSet {
  velwin::testing::TempDir temp;
  fs::path dir = temp.Path();
  std::vector<std::string> roms;

  RomSet() {
    fs::create_directories(dir / "cp-copies");
    std::mt19937 random(3);
    velwin::testing::Bytes bytes(kRomSize);
    for (int i = 0; i < kRomCount; ++i) {
      // Varied to the end, so the stripped size is the whole file.
      for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
      // A cartridge header, or the job would refuse the file.
      std::copy(velwin::gbheader::HeaderLogo.begin(), velwin::gbheader::HeaderLogo.end(),
                bytes.begin() + velwin::gbheader::kLogoOffset);
      roms.push_back(temp.Write("rom" + std::to_string(i) + ".gb", bytes));
    }
  }
};

void BM_FlashJob64Roms(benchmark::State& state) {
  RomSet set;
  velwin::rom::RomInfoLabels labels;
  velwin::rom::MemoryStatusLine status;
  velwin::rom::RomAnalyser analyser(labels, status);
  NoTool tool;
  std::vector<std::string> cpArgs{"cp"};
  cpArgs.insert(cpArgs.end(), set.roms.begin(), set.roms.end());
  cpArgs.push_back((set.dir / "cp-copies").string());
  // The job deletes the copies of the run before; so does the baseline.
  std::vector<std::string> rmArgs{"rm", "-f"};
  for (const std::string& rom : set.roms)
    rmArgs.push_back((set.dir / "cp-copies" / fs::path(rom).filename()).string());

  double jobSeconds = 0;
  double rmSeconds = 0;
  double cpSeconds = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    velwin::flash::RunFlashJob(set.roms, analyser, tool, set.dir.string());
    const auto t1 = Clock::now();
    state.PauseTiming();
    const auto c0 = Clock::now();
    velwin::bench::RunCommand(rmArgs);
    const auto c1 = Clock::now();
    velwin::bench::RunCommand(cpArgs);
    const auto c2 = Clock::now();
    state.ResumeTiming();
    jobSeconds += std::chrono::duration<double>(t1 - t0).count();
    rmSeconds += std::chrono::duration<double>(c1 - c0).count();
    cpSeconds += std::chrono::duration<double>(c2 - c1).count();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kRomCount *
                          static_cast<std::int64_t>(kRomSize));
  state.counters["x_rm_cp"] = jobSeconds / (rmSeconds + cpSeconds);
  state.counters["x_cp"] = jobSeconds / cpSeconds;
}
BENCHMARK(BM_FlashJob64Roms)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
