#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace velwin::card {

// What a long link job is doing at the moment. A read or a compare has one
// phase; a write goes through several, and the progress line and the window
// name the phase in hand.
enum class JobPhase : std::uint8_t {
  kReading,
  kComparing,
  kBackingUp,
  kErasing,
  kProgramming,
};

// Where a job stands: bytes done of bytes to do, over the whole job (all its
// phases), and the bank in hand.
struct JobProgress {
  JobPhase phase = JobPhase::kReading;
  std::uint64_t bytesDone = 0;
  std::uint64_t bytesToDo = 0;
  std::uint32_t bank = 0;
};

// How a job ended. A cancelled job has done nothing lasting: no file, no
// temporary file.
enum class JobStatus : std::uint8_t { kDone, kCancelled, kFailed };

struct JobOutcome {
  JobStatus status = JobStatus::kDone;
  std::string message;  // the reason of a failure, in the words the user sees

  static JobOutcome Done() { return {}; }
  static JobOutcome Cancelled() { return {JobStatus::kCancelled, {}}; }
  static JobOutcome Failed(std::string why) { return {JobStatus::kFailed, std::move(why)}; }
  bool Ok() const { return status == JobStatus::kDone; }
};

// Between a job and whoever runs it: the job reports its progress at every
// bank boundary and asks there whether to go on. A cancel may be requested
// from anywhere, a signal handler included, and takes effect at the next
// boundary, so the bank in hand is always finished cleanly.
class JobControl {
 public:
  using ProgressSink = std::function<void(const JobProgress&)>;

  JobControl() = default;
  explicit JobControl(ProgressSink sink) : sink_(std::move(sink)) {}
  JobControl(const JobControl&) = delete;
  JobControl& operator=(const JobControl&) = delete;

  // The window pumps its events from here, the command line draws its line.
  void SetProgressSink(ProgressSink sink) { sink_ = std::move(sink); }

  // Safe in a signal handler: a lock-free atomic store, nothing else.
  void RequestCancel() noexcept { cancel_.store(true, std::memory_order_relaxed); }
  bool CancelRequested() const noexcept { return cancel_.load(std::memory_order_relaxed); }
  // Before a new job on the same control.
  void Reset() noexcept { cancel_.store(false, std::memory_order_relaxed); }

  // Called by a job at each bank boundary: reports where it stands and
  // returns whether it may go on.
  bool AtBankBoundary(const JobProgress& progress) {
    if (sink_)
      sink_(progress);
    return !CancelRequested();
  }

 private:
  static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the cancel flag");
  ProgressSink sink_;
  std::atomic<bool> cancel_{false};
};

}  // namespace velwin::card
