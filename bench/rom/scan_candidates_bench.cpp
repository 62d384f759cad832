// The ways to find the stripped size of a ROM that is mostly filler, side by
// side in one run: read() in pieces of several sizes or a mapping of the
// file (with and without its pages populated up front), each with the
// byte-stream compare against itself shifted by one or a compare a word or a
// vector of 16 or 32 bytes at a time. The baseline is read() of the whole file, which is what
// cat does with it. Each candidate scans backwards from the end, as the
// analysis does, and must find the same stripped size.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench/rom/bench_files.h"
#include "rom/equal_bytes.h"
#include "tests/support/temp_dir.h"

namespace velwin::rom::bench {
namespace {

constexpr std::size_t kRomBytes = 8u << 20;
constexpr std::size_t kCodeBytes = 1u << 20;  // 7/8 filler
constexpr std::size_t kBlock = 32768;

// Eight files, 64 MiB in all: twice the last-level cache of the machine
// measured, so that each scan finds its file in the page cache but not in
// the processor's cache, as a command over a folder of ROMs does. A single
// file scanned again and again would stay in the cache and flatter the
// mapping.
constexpr int kFiles = 8;

const std::string& FillerRom(int n) {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> made;
    for (int i = 0; i < kFiles; ++i) {
      const auto p = BenchDirectory() / ("scan-candidates-" + std::to_string(i) + ".gb");
      testing::WriteBytes(p, MakeRom(kRomBytes, kCodeBytes, 0xFF, 11 + static_cast<unsigned>(i)));
      made.push_back(p.string());
    }
    return made;
  }();
  return paths[static_cast<std::size_t>(n % kFiles)];
}

// The byte stream against itself shifted by one, or the analysis's own
// compare 8, 16 or 32 bytes at a time.
enum Compare { kShifted, kWords, kSse2, kAvx2 };

bool Runs(Compare how) {
  const auto& widths = CompareWidths();
  return how == kShifted || how == kWords ||
         std::find(widths.begin(), widths.end(),
                   how == kSse2 ? CompareWidth::kSse2 : CompareWidth::kAvx2) != widths.end();
}

bool Uniform(const std::uint8_t* p, std::size_t n, std::uint8_t v, Compare how) {
  switch (how) {
    case kShifted:
      return p[0] == v && std::memcmp(p, p + 1, n - 1) == 0;
    case kWords:
      return AllBytesEqual(p, n, v, CompareWidth::kWord);
    case kSse2:
      return AllBytesEqual(p, n, v, CompareWidth::kSse2);
    case kAvx2:
      return AllBytesEqual(p, n, v, CompareWidth::kAvx2);
  }
  return false;
}

std::int64_t ScanRead(int fd, std::size_t piece, Compare how, std::uint8_t* buf) {
  std::int64_t end = static_cast<std::int64_t>(kRomBytes);
  std::uint8_t filler = 0;
  bool known = false;
  while (end > static_cast<std::int64_t>(kBlock)) {
    const std::int64_t start =
        std::max<std::int64_t>(kBlock, end - static_cast<std::int64_t>(piece));
    const auto count = static_cast<std::size_t>(end - start);
    if (::pread(fd, buf, count, start) != static_cast<ssize_t>(count))
      return -1;
    if (!known) {
      filler = buf[count - 1];
      known = true;
    }
    for (std::int64_t b = end - static_cast<std::int64_t>(kBlock); b >= start; b -= kBlock) {
      if (!Uniform(buf + (b - start), kBlock, filler, how))
        return b + static_cast<std::int64_t>(kBlock);
    }
    end = start;
  }
  return kBlock;
}

std::int64_t ScanMapped(const std::uint8_t* base, Compare how) {
  const std::uint8_t filler = base[kRomBytes - 1];
  for (std::int64_t b = kRomBytes - kBlock; b >= static_cast<std::int64_t>(kBlock); b -= kBlock) {
    if (!Uniform(base + b, kBlock, filler, how))
      return b + static_cast<std::int64_t>(kBlock);
  }
  return kBlock;
}

// The buffer starts on a page, or 16 bytes past one as malloc hands out a
// large block: the kernel's copy into it is what differs.
void BM_ScanRead(benchmark::State& state) {
  const auto piece = static_cast<std::size_t>(state.range(0)) * 1024;
  const auto how = static_cast<Compare>(state.range(1));
  const auto offset = static_cast<std::size_t>(state.range(2));
  if (!Runs(how)) {
    state.SkipWithError("this processor has no such compare");
    return;
  }
  std::vector<std::uint8_t> storage(piece + 8192);
  std::uint8_t* buf =
      storage.data() + (4096 - reinterpret_cast<std::uintptr_t>(storage.data()) % 4096) + offset;
  RatioMeter meter(state.max_iterations);
  std::int64_t found = 0;
  int n = 0;
  for (auto _ : state) {
    const std::string& path = FillerRom(n++);
    state.SetIterationTime(meter.Operation([&] {
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      found = ScanRead(fd, piece, how, buf);
      ::close(fd);
    }));
    meter.Baseline([&] { benchmark::DoNotOptimize(ReadWholeFile(FillerRom(n++))); });
  }
  if (found != static_cast<std::int64_t>(kCodeBytes))
    state.SkipWithError("wrong stripped size");
  state.counters["ratio_vs_read"] = meter.Ratio();
}
BENCHMARK(BM_ScanRead)
    ->ArgsProduct({{32, 64, 128, 256, 512}, {kShifted, kWords, kSse2, kAvx2}, {0}})
    ->ArgsProduct({{128}, {kSse2, kAvx2}, {16}})
    ->ArgNames({"pieceKiB", "compare", "offset"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_ScanMapped(benchmark::State& state) {
  const bool populate = state.range(0) != 0;
  const auto how = static_cast<Compare>(state.range(1));
  if (!Runs(how)) {
    state.SkipWithError("this processor has no such compare");
    return;
  }
  RatioMeter meter(state.max_iterations);
  std::int64_t found = 0;
  int n = 0;
  for (auto _ : state) {
    const std::string& path = FillerRom(n++);
    state.SetIterationTime(meter.Operation([&] {
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      void* map =
          ::mmap(nullptr, kRomBytes, PROT_READ, MAP_PRIVATE | (populate ? MAP_POPULATE : 0), fd, 0);
      found = ScanMapped(static_cast<const std::uint8_t*>(map), how);
      ::munmap(map, kRomBytes);
      ::close(fd);
    }));
    meter.Baseline([&] { benchmark::DoNotOptimize(ReadWholeFile(FillerRom(n++))); });
  }
  if (found != static_cast<std::int64_t>(kCodeBytes))
    state.SkipWithError("wrong stripped size");
  state.counters["ratio_vs_read"] = meter.Ratio();
}
BENCHMARK(BM_ScanMapped)
    ->ArgsProduct({{0, 1}, {kShifted, kWords, kSse2, kAvx2}})
    ->ArgNames({"populate", "compare"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velwin::rom::bench
