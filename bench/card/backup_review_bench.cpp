// What the restore list costs when it opens: every backup of a folder of
// 64 Mbit backups read whole, listed and its games' global checksums summed.
// - "ms_per_backup": wall time per 8 MiB backup, file cache warm; the list
//   of 21 backups opens in 21 times that;
// - "mb_per_s": the bytes reviewed per second.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "card/backup_review.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace velwin;

constexpr std::size_t kCardBytes = 8 * 1024 * 1024;

void BM_ReviewBackupFolder(benchmark::State& state) {
  const testing::TempDir dir;
  const auto backups = static_cast<int>(state.range(0));
  testing::Bytes image(kCardBytes);
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
  // A single cart as large as the card: its checksum covers every byte.
  image[0x148] = 0x07;
  for (int n = 0; n < backups; ++n)
    dir.Write("card-2026-12-07-1000" + std::to_string(10 + n) + "-64Mbit.gb", image);
  for (auto _ : state) {
    const card::BackupFolderReview review = card::ReviewBackupFolder(dir.Path().string(), "");
    benchmark::DoNotOptimize(review.totalBytes);
  }
  state.counters["ms_per_backup"] = benchmark::Counter(
      1e-3 * backups, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["mb_per_s"] = benchmark::Counter(static_cast<double>(backups) * kCardBytes / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReviewBackupFolder)->Arg(21)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
