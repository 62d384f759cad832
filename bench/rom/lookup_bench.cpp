// A lookup in a 50 MB "veltra.ini" whose entry is its last, against
// `grep -c -x` for the key line on the same file, spawned in the same run:
// once with CR LF line ends as the VELTRA tool writes them, once with LF
// alone as a Linux editor saves them.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/rom/bench_files.h"
#include "rom/database_lookup.h"
#include "rom/status_line.h"
#include "tests/support/temp_dir.h"

namespace velwin::rom::bench {
namespace {

constexpr std::size_t kDatabaseBytes = 50'000'000;

struct Layout {
  const char* name;
  const char* lineEnd;
  const char* grepLine;  // the key line as grep -x sees it
};

constexpr Layout kLayouts[] = {
    {"CR LF line ends", "\r\n", "CRC: 0X1234\r"},
    {"LF line ends", "\n", "CRC: 0X1234"},
};

std::filesystem::path DatabaseDirectory(int index) {
  const Layout& layout = kLayouts[index];
  const auto dir = BenchDirectory() / ("lookup-" + std::to_string(index));
  if (!std::filesystem::exists(dir / "veltra.ini")) {
    std::filesystem::create_directories(dir);
    std::string text;
    text.reserve(kDatabaseBytes + 100);
    char entry[96];
    for (unsigned i = 0; text.size() < kDatabaseBytes; ++i) {
      unsigned crc = i % 0xFFFF;
      if (crc == 0x1234)
        crc = 0x4321;  // the key of the last entry only
      std::snprintf(entry, sizeof entry, "Game number %u (Europe) (En,Fr,De) [!]%sCRC: 0X%04X%s", i,
                    layout.lineEnd, crc, layout.lineEnd);
      text += entry;
    }
    text += std::string("The Last Game (World)") + layout.lineEnd + "CRC: 0X1234" + layout.lineEnd;
    testing::WriteBytes(dir / "veltra.ini", std::vector<std::uint8_t>(text.begin(), text.end()));
    testing::WriteBytes(dir / "user.ini", testing::Bytes{});
  }
  return dir;
}

void BM_LookupLastEntry(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  const auto dir = DatabaseDirectory(index);
  const std::string database = (dir / "veltra.ini").string();
  RomInfoLabels labels;
  MemoryStatusLine status;
  RatioMeter meter(state.max_iterations);
  int grepStatus = 0;
  for (auto _ : state) {
    labels.ROMCRC = "1234";
    state.SetIterationTime(meter.Operation([&] { LookupDatabase(labels, status, dir.string()); }));
    meter.Baseline([&] {
      grepStatus = RunProgram({"grep", "-c", "-x", kLayouts[index].grepLine, database});
    });
  }
  if (labels.ROMDBName != "The Last Game (World)" || grepStatus != 0) {
    state.SkipWithError("the entry was not found");
    return;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(std::filesystem::file_size(database)));
  state.SetLabel(kLayouts[index].name);
  state.counters["ratio_vs_grep"] = meter.Ratio();
}
BENCHMARK(BM_LookupLastEntry)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velwin::rom::bench
