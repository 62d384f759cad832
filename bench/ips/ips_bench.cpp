// ApplyIpsPatch against two baselines measured in the same iterations, so
// the ratios come from the same run and the same cache state:
// - "x_cp": patch time over a plain cp of a file as large as the bytes the
//   patch writes;
// - "x_pwrite": patch time over the bare positioned writes of the same
//   records on the same ROM, the floor for one write per record.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/ips/command_baseline.h"
#include "ips/ips_patch.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct PatchFiles {
  velwin::testing::TempDir temp;
  fs::path dir = temp.Path();
  std::string ips, rom, payload, payloadCopy;
  std::int64_t records = 0;
  std::int64_t patchedBytes = 0;
  std::vector<std::uint32_t> offsets;
  std::size_t size = 0;

  PatchFiles(std::int64_t recordCount, std::size_t recordSize, std::uint32_t romSize) {
    ips = (dir / "bench.ips").string();
    rom = (dir / "bench.gb").string();
    payload = (dir / "payload.bin").string();
    payloadCopy = (dir / "payload-copy.bin").string();
    std::mt19937 random(1);
    std::vector<std::uint8_t> patch{'P', 'A', 'T', 'C', 'H'};
    for (std::int64_t r = 0; r < recordCount; ++r) {
      const std::uint32_t offset = random() % (romSize - recordSize);
      offsets.push_back(offset);
      patch.push_back(static_cast<std::uint8_t>(offset >> 16));
      patch.push_back(static_cast<std::uint8_t>(offset >> 8));
      patch.push_back(static_cast<std::uint8_t>(offset));
      patch.push_back(static_cast<std::uint8_t>(recordSize >> 8));
      patch.push_back(static_cast<std::uint8_t>(recordSize));
      for (std::size_t i = 0; i < recordSize; ++i)
        patch.push_back(static_cast<std::uint8_t>(random()));
    }
    patch.insert(patch.end(), {'E', 'O', 'F'});
    velwin::testing::WriteBytes(ips, patch);
    velwin::testing::WriteBytes(rom, std::vector<std::uint8_t>(romSize, 0xFF));
    records = recordCount;
    size = recordSize;
    patchedBytes = recordCount * static_cast<std::int64_t>(recordSize);
    velwin::testing::WriteBytes(
        payload, std::vector<std::uint8_t>(static_cast<std::size_t>(patchedBytes), 0x5A));
  }
};

// The records' bytes as one positioned write each, nothing else.
void BareWrites(const PatchFiles& files, const std::vector<std::uint8_t>& data) {
  const int fd = ::open(files.rom.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0)
    throw std::runtime_error("cannot open " + files.rom);
  for (const std::uint32_t offset : files.offsets) {
    if (::pwrite(fd, data.data(), files.size, offset) != static_cast<ssize_t>(files.size)) {
      ::close(fd);
      throw std::runtime_error("write failed");
    }
  }
  ::close(fd);
}

void RunAgainstBaselines(benchmark::State& state, PatchFiles& files) {
  const std::vector<std::uint8_t> data(files.size, 0xA5);
  double patchSeconds = 0;
  double cpSeconds = 0;
  double writeSeconds = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(velwin::ips::ApplyIpsPatch(files.ips, files.rom));
    const auto t1 = Clock::now();
    state.PauseTiming();
    velwin::bench::RunCommand({"cp", files.payload, files.payloadCopy});
    const auto t2 = Clock::now();
    BareWrites(files, data);
    const auto t3 = Clock::now();
    state.ResumeTiming();
    patchSeconds += std::chrono::duration<double>(t1 - t0).count();
    cpSeconds += std::chrono::duration<double>(t2 - t1).count();
    writeSeconds += std::chrono::duration<double>(t3 - t2).count();
  }
  const auto n = static_cast<std::int64_t>(state.iterations());
  state.SetItemsProcessed(n * files.records);
  state.SetBytesProcessed(n * files.patchedBytes);
  state.counters["x_cp"] = patchSeconds / cpSeconds;
  state.counters["x_pwrite"] = patchSeconds / writeSeconds;
}

// 100,000 records of 4 bytes scattered over a 4 MiB ROM.
void BM_SmallRecords(benchmark::State& state) {
  PatchFiles files(100000, 4, 4 * 1024 * 1024);
  RunAgainstBaselines(state, files);
}
BENCHMARK(BM_SmallRecords)->Unit(benchmark::kMillisecond)->UseRealTime();

// 256 records of 65,535 bytes (16 MiB) over a 16 MiB ROM.
void BM_LargeRecords(benchmark::State& state) {
  PatchFiles files(256, 65535, 16 * 1024 * 1024);
  RunAgainstBaselines(state, files);
}
BENCHMARK(BM_LargeRecords)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
