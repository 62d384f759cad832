// The analysis of one 8 MiB ROM against reading the same file once with
// read(). The stripped size works backwards from the end, so it reads the
// trailing filler and little more; a ROM of one value that ends in a different
// byte, which re-reads the tail after every block when walked forwards,
// costs a single block. The global checksum of --verify reads everything.

#include <benchmark/benchmark.h>

#include <array>
#include <string>

#include "bench/rom/bench_files.h"
#include "fileio/byte_file.h"
#include "rom/global_checksum.h"
#include "rom/rom_analysis.h"
#include "rom/status_line.h"
#include "rom/stripped_size.h"
#include "tests/support/temp_dir.h"

namespace velwin::rom::bench {
namespace {

constexpr std::size_t kRomBytes = 8u << 20;
constexpr std::size_t kBlock = 32768;

struct Pattern {
  const char* name;
  std::size_t codeBytes;  // the rest is filler
  bool oddLastByte;
  std::int64_t stripped;  // what the analysis must find
};

constexpr std::array<Pattern, 4> kPatterns = {{
    {"3 MiB code, 5 MiB filler", 3u << 20, false, 3 << 20},
    {"one value, odd last byte", kBlock, true, static_cast<std::int64_t>(kRomBytes)},
    {"no filler", kRomBytes, false, static_cast<std::int64_t>(kRomBytes)},
    {"all filler after block 0", kBlock, false, static_cast<std::int64_t>(kBlock)},
}};

std::string RomFor(const Pattern& pattern, int index) {
  const auto path = BenchDirectory() / ("analysis-" + std::to_string(index) + ".gb");
  if (!std::filesystem::exists(path)) {
    auto rom = MakeRom(kRomBytes, pattern.codeBytes, 0xFF, 7);
    if (pattern.oddLastByte)
      rom.back() = 0x00;
    testing::WriteBytes(path, rom);
  }
  return path.string();
}

void BM_AnalyseRom(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  const Pattern& pattern = kPatterns.at(static_cast<std::size_t>(index));
  const std::string path = RomFor(pattern, index);
  RomInfoLabels labels;
  MemoryStatusLine status;
  RomAnalyser analyser(labels, status);

  RatioMeter meter(state.max_iterations);
  RomAnalysis result;
  for (auto _ : state) {
    state.SetIterationTime(meter.Operation([&] { result = analyser.AnalyseRomFile(path, true); }));
    meter.Baseline([&] { benchmark::DoNotOptimize(ReadWholeFile(path)); });
  }
  if (!result.ok || result.strippedSize != pattern.stripped) {
    state.SkipWithError("the analysis measured a wrong stripped size");
    return;
  }
  const std::size_t filler =
      pattern.oddLastByte ? 1 : kRomBytes - std::max(pattern.codeBytes, kBlock);
  state.SetLabel(pattern.name);
  state.counters["bytes_read"] = static_cast<double>(result.bytesRead);
  // The filler is read in pieces as long as the filler found so far, up to
  // half a MiB: the last piece may reach that far below the filler.
  state.counters["bytes_allowed"] =
      static_cast<double>(336 + filler + kBlock + std::min<std::size_t>(filler, 16 * kBlock));
  state.counters["ratio_vs_read"] = meter.Ratio();
}
BENCHMARK(BM_AnalyseRom)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same from the disk: each run starts with the file out of the page
// cache, for the analysis and for the read() baseline alike.
void BM_AnalyseRomCold(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  const std::string path = RomFor(kPatterns.at(static_cast<std::size_t>(index)), index);
  RomInfoLabels labels;
  MemoryStatusLine status;
  RomAnalyser analyser(labels, status);
  RatioMeter meter(state.max_iterations);
  for (auto _ : state) {
    EvictFromCache(path);
    state.SetIterationTime(meter.Operation([&] { analyser.AnalyseRomFile(path, true); }));
    meter.Baseline([&] {
      EvictFromCache(path);
      benchmark::DoNotOptimize(ReadWholeFile(path));
    });
  }
  state.SetLabel(kPatterns.at(static_cast<std::size_t>(index)).name);
  state.counters["ratio_vs_read"] = meter.Ratio();
}
BENCHMARK(BM_AnalyseRomCold)->Arg(0)->Arg(3)->UseManualTime()->Unit(benchmark::kMicrosecond);

// For comparison only: the stripped size walked forwards from block 1,
// restarting one block further after every block that is not all filler.
std::int64_t ForwardStrippedSize(const std::string& path, std::uint64_t& bytesRead) {
  auto file = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
  std::vector<std::uint8_t> block(kBlock);
  for (std::int64_t p = kStripBlock;; p += kStripBlock) {
    std::size_t got = file.ReadAt(p, block);
    bytesRead += got;
    if (got == 0)
      return p;
    const std::uint8_t filler = block[0];
    std::int64_t at = p;
    bool uniform = true;
    while (got > 0 && uniform) {
      for (std::size_t i = 0; i < got; ++i)
        uniform = uniform && block[i] == filler;
      at += static_cast<std::int64_t>(got);
      if (uniform) {
        got = file.ReadAt(at, block);
        bytesRead += got;
      }
    }
    if (uniform)
      return p;
  }
}

void BM_ForwardWalkOddLastByte(benchmark::State& state) {
  const std::string path = RomFor(kPatterns[1], 1);
  RatioMeter meter(state.max_iterations);
  std::uint64_t bytesRead = 0;
  for (auto _ : state) {
    bytesRead = 0;
    state.SetIterationTime(
        meter.Operation([&] { benchmark::DoNotOptimize(ForwardStrippedSize(path, bytesRead)); }));
    meter.Baseline([&] { benchmark::DoNotOptimize(ReadWholeFile(path)); });
  }
  state.counters["bytes_read"] = static_cast<double>(bytesRead);
  state.counters["ratio_vs_read"] = meter.Ratio();
}
BENCHMARK(BM_ForwardWalkOddLastByte)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// info --verify: the global checksum must read every byte, so read() of the
// whole file is both its floor and its baseline.
void BM_GlobalChecksum(benchmark::State& state) {
  const std::string path = RomFor(kPatterns[2], 2);
  RatioMeter meter(state.max_iterations);
  for (auto _ : state) {
    state.SetIterationTime(
        meter.Operation([&] { benchmark::DoNotOptimize(GlobalChecksumMatches(path)); }));
    meter.Baseline([&] { benchmark::DoNotOptimize(ReadWholeFile(path)); });
  }
  state.counters["ratio_vs_read"] = meter.Ratio();
}
BENCHMARK(BM_GlobalChecksum)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velwin::rom::bench
