#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velwin::rom::bench {

// The directory every benchmark file lives in; removed when the program
// ends.
const std::filesystem::path& BenchDirectory();

// A ROM image of the given size with a valid header: the first codeBytes
// bytes vary, the rest is the filler value.
std::vector<std::uint8_t> MakeRom(std::size_t size, std::size_t codeBytes, std::uint8_t filler,
                                  unsigned seed);

// Reads the whole file once with read(), the way any program must at least
// touch its bytes; the baseline for the analysis.
std::uint64_t ReadWholeFile(const std::string& path);

// Drops the file from the page cache, so the next read comes from the disk.
void EvictFromCache(const std::string& path);

// Runs a program with its output thrown away and waits for it; the exit
// status, or -1 when it could not be started.
int RunProgram(const std::vector<std::string>& argv);

template <typename Action>
double SecondsOf(Action&& action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Compares an operation with a baseline measured in the same run. A fast
// operation gets tens of thousands of iterations and the baseline needs a
// few dozen, so the baseline runs beside every n-th iteration, spread over
// the whole run so that both see the same load on the machine.
class RatioMeter {
 public:
  static constexpr std::int64_t kBaselineRuns = 24;

  explicit RatioMeter(std::int64_t iterations)
      : every_(iterations > kBaselineRuns ? iterations / kBaselineRuns : 1) {}

  // Times the operation and returns its seconds, for SetIterationTime.
  template <typename Action>
  double Operation(Action&& action) {
    const double seconds = SecondsOf(action);
    operationSeconds_ += seconds;
    ++operationRuns_;
    return seconds;
  }
  // Runs the baseline when its turn has come.
  template <typename Action>
  void Baseline(Action&& action) {
    if ((operationRuns_ - 1) % every_ != 0)
      return;
    baselineSeconds_ += SecondsOf(action);
    ++baselineRuns_;
  }
  // Mean operation time over mean baseline time.
  double Ratio() const {
    return (operationSeconds_ / static_cast<double>(operationRuns_)) /
           (baselineSeconds_ / static_cast<double>(baselineRuns_));
  }

 private:
  std::int64_t every_;
  double operationSeconds_ = 0;
  double baselineSeconds_ = 0;
  std::int64_t operationRuns_ = 0;
  std::int64_t baselineRuns_ = 0;
};

}  // namespace velwin::rom::bench
