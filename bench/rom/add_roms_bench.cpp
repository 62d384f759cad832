// Adding 256 ROMs of 8 MiB each as the Add button does: the analysis of each
// file, then the case-insensitive test against the paths already listed,
// against `cat` of the same files, spawned in the same run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/rom/bench_files.h"
#include "cli/info_command.h"
#include "rom/rom_analysis.h"
#include "rom/status_line.h"
#include "tests/support/temp_dir.h"

namespace velwin::rom::bench {
namespace {

constexpr int kRoms = 256;
constexpr std::size_t kRomBytes = 8u << 20;

const std::vector<std::string>& RomPaths() {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> made;
    const auto dir = BenchDirectory() / "add";
    std::filesystem::create_directories(dir);
    // One random image, with 1 to 8 MiB of it kept as code and the rest
    // filler of 0xFF or 0x00, as dumps come.
    const auto base = MakeRom(kRomBytes, kRomBytes, 0, 11);
    for (int i = 0; i < kRoms; ++i) {
      auto rom = base;
      const std::size_t code = static_cast<std::size_t>(i % 8 + 1) << 20;
      std::fill(rom.begin() + static_cast<std::ptrdiff_t>(code), rom.end(),
                (i % 2 != 0) ? 0xFF : 0x00);
      rom[0x134] = static_cast<std::uint8_t>('A' + i % 26);
      const auto path = dir / ("Rom" + std::to_string(i) + ".gb");
      testing::WriteBytes(path, rom);
      made.push_back(path.string());
    }
    return made;
  }();
  return paths;
}

bool SamePathIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// The baseline: cat reading the same files from start to end.
std::vector<std::string> CatCommand(const std::vector<std::string>& paths) {
  std::vector<std::string> command = {"cat"};
  command.insert(command.end(), paths.begin(), paths.end());
  return command;
}

void BM_AddRoms(benchmark::State& state) {
  const auto& paths = RomPaths();
  const std::vector<std::string> catArgs = CatCommand(paths);
  RomInfoLabels labels;
  MemoryStatusLine status;
  RomAnalyser analyser(labels, status);

  RatioMeter meter(state.max_iterations);
  std::size_t listed = 0;
  std::uint64_t bytesRead = 0;
  for (auto _ : state) {
    std::vector<std::string> list;
    std::int64_t totalFileSize = 0;
    std::int64_t totalStrippedSize = 0;
    bytesRead = 0;
    const double seconds = meter.Operation([&] {
      for (const std::string& path : paths) {
        const RomAnalysis result = analyser.AnalyseRomFile(path, true);
        bytesRead += result.bytesRead;
        if (!result.isGameBoyRom)
          continue;
        if (std::any_of(list.begin(), list.end(), [&](const std::string& listedPath) {
              return SamePathIgnoringCase(listedPath, path);
            })) {
          continue;
        }
        list.push_back(path);
        totalFileSize += result.fileSize.value_or(0);
        totalStrippedSize += result.strippedSize.value_or(0);
      }
    });
    meter.Baseline([&] { benchmark::DoNotOptimize(RunProgram(catArgs)); });
    state.SetIterationTime(seconds);
    listed = list.size();
    benchmark::DoNotOptimize(totalFileSize);
    benchmark::DoNotOptimize(totalStrippedSize);
  }
  if (listed != paths.size()) {
    state.SkipWithError("not every ROM was listed");
    return;
  }
  state.counters["bytes_read"] = static_cast<double>(bytesRead);
  state.counters["bytes_total"] = static_cast<double>(kRomBytes) * kRoms;
  state.counters["ratio_vs_cat"] = meter.Ratio();
}
BENCHMARK(BM_AddRoms)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// What `velwin-cli info` does for 64 ROMs of 8 MiB, each 1 MiB of code and
// 7 MiB of 0xFF filler: seven eighths of every file must be compared, so
// this is the closest the analysis comes to reading everything `cat` reads.
const std::vector<std::string>& MostlyFillerPaths() {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> made;
    const auto dir = BenchDirectory() / "filler";
    std::filesystem::create_directories(dir);
    auto rom = MakeRom(kRomBytes, 1u << 20, 0xFF, 13);
    for (int i = 0; i < 64; ++i) {
      rom[0x134] = static_cast<std::uint8_t>('A' + i % 26);
      const auto path = dir / ("Rom" + std::to_string(i) + ".gb");
      testing::WriteBytes(path, rom);
      made.push_back(path.string());
    }
    return made;
  }();
  return paths;
}

void BM_AnalyseMostlyFiller(benchmark::State& state) {
  const auto& paths = MostlyFillerPaths();
  const std::vector<std::string> catArgs = CatCommand(paths);
  RomInfoLabels labels;
  MemoryStatusLine status;
  RomAnalyser analyser(labels, status);
  RatioMeter meter(state.max_iterations);
  std::uint64_t bytesRead = 0;
  bool allStripped = true;
  for (auto _ : state) {
    bytesRead = 0;
    state.SetIterationTime(meter.Operation([&] {
      for (const std::string& path : paths) {
        const RomAnalysis result = analyser.AnalyseRomFile(path, true);
        bytesRead += result.bytesRead;
        allStripped = allStripped && result.strippedSize == (1 << 20);
      }
    }));
    meter.Baseline([&] { benchmark::DoNotOptimize(RunProgram(catArgs)); });
  }
  if (!allStripped) {
    state.SkipWithError("a wrong stripped size");
    return;
  }
  state.counters["bytes_read"] = static_cast<double>(bytesRead);
  state.counters["bytes_total"] = static_cast<double>(kRomBytes) * 64;
  state.counters["ratio_vs_cat"] = meter.Ratio();
}
BENCHMARK(BM_AnalyseMostlyFiller)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);

// The command itself, `velwin-cli info FILE...` on the same 64 files, with
// its text written to a string: the analysis, the labels and the report of
// each file, against `cat` of the same files. readers:0 is the command as it
// runs (files read at once, one a processor), readers:1 one file at a time.
void BM_InfoCommandMostlyFiller(benchmark::State& state) {
  const auto& paths = MostlyFillerPaths();
  const std::vector<std::string> catArgs = CatCommand(paths);
  const std::optional<unsigned> readers =
      state.range(0) == 0 ? std::nullopt : std::optional(static_cast<unsigned>(state.range(0)));
  RatioMeter meter(state.max_iterations);
  int status = 0;
  for (auto _ : state) {
    std::ostringstream out;
    std::ostringstream err;
    state.SetIterationTime(
        meter.Operation([&] { status = cli::RunInfoCommand(paths, out, err, readers); }));
    meter.Baseline([&] { benchmark::DoNotOptimize(RunProgram(catArgs)); });
    if (status != 0 || out.str().find("Stripped size:  1048576") == std::string::npos) {
      state.SkipWithError("info did not measure the files");
      return;
    }
  }
  state.counters["ratio_vs_cat"] = meter.Ratio();
}
BENCHMARK(BM_InfoCommandMostlyFiller)
    ->ArgName("readers")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velwin::rom::bench
