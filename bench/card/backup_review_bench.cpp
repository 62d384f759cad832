// What the restore list costs when it opens: every backup of a folder of
// 64 Mbit backups read whole, listed and its games' global checksums summed.
// - "ms_per_backup": wall time per 8 MiB backup, file cache warm; the list
//   of 21 backups opens in 21 times that;
// - "mb_per_s": the bytes reviewed per second;
// - "ratio_vs_read": the review's time over read() of the same files into a
//   128 KiB buffer, as cat reads them, measured beside it in the same run.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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
  // The baseline: every backup read whole, and nothing done with it.
  std::vector<std::uint8_t> buffer(128 * 1024);
  const auto readAll = [&] {
    std::uint64_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
      for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
        total += static_cast<std::uint64_t>(got);
      ::close(fd);
    }
    return total;
  };
  using Clock = std::chrono::steady_clock;
  double reviewSeconds = 0;
  double readSeconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const card::BackupFolderReview review = card::ReviewBackupFolder(dir.Path().string(), "");
    const auto middle = Clock::now();
    benchmark::DoNotOptimize(review.totalBytes);
    benchmark::DoNotOptimize(readAll());
    reviewSeconds += std::chrono::duration<double>(middle - start).count();
    readSeconds += std::chrono::duration<double>(Clock::now() - middle).count();
  }
  state.counters["ratio_vs_read"] = reviewSeconds / readSeconds;
  state.counters["ms_per_backup"] = benchmark::Counter(
      1e-3 * backups, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["mb_per_s"] = benchmark::Counter(static_cast<double>(backups) * kCardBytes / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReviewBackupFolder)->Arg(21)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
