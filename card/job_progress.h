#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
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
  kVerifying,  // a written sector, block or page read back and compared
};

// What each kind of step of a write is expected to take, in microseconds:
// the chip's typical erase and program times from its datasheet, and the
// port accesses the link spends on a byte (at about a microsecond each on a
// real port). A write's percent is weighted by these, so it moves with the
// clock through reads, erases and programs alike.
struct JobWeights {
  std::uint32_t readUsPerByte = 0;  // a byte read once over the link
  std::uint32_t loadUsPerByte = 0;  // a byte sent into a page or write buffer
  std::uint32_t eraseUs = 0;        // one sector or block erased
  std::uint32_t programUs = 0;      // one page or buffer programmed, once loaded
  std::uint32_t programUnitBytes = 1;

  std::uint64_t ReadWork(std::uint64_t bytes) const { return bytes * readUsPerByte; }
  std::uint64_t ProgramWork(std::uint64_t bytes) const {
    const std::uint64_t operations = (bytes + programUnitBytes - 1) / programUnitBytes;
    return operations * programUs + bytes * loadUsPerByte;
  }
};

// Where a job stands: bytes done of bytes to do, over the whole job (all its
// phases), and the bank in hand. A job of several kinds of step also counts
// its expected time (work, in the microseconds of its weights) done of to
// do; its percent comes from that.
struct JobProgress {
  JobPhase phase = JobPhase::kReading;
  std::uint64_t bytesDone = 0;
  std::uint64_t bytesToDo = 0;
  std::uint32_t bank = 0;
  // The bank, sector, block or page in hand, counted from 1, of unitCount in
  // this phase; unitName says which.
  std::uint32_t unit = 0;
  std::uint32_t unitCount = 0;
  std::string_view unitName = "bank";
  JobWeights weights;
  std::uint64_t workDone = 0;
  std::uint64_t workToDo = 0;  // 0: the job counts bytes only

  // How much of the whole job is done, from 0 to 1.
  double Fraction() const {
    const std::uint64_t done = workToDo != 0 ? workDone : bytesDone;
    const std::uint64_t toDo = workToDo != 0 ? workToDo : bytesToDo;
    if (toDo == 0)
      return 1.0;
    return done >= toDo ? 1.0 : static_cast<double>(done) / static_cast<double>(toDo);
  }
  void AddRead(std::uint64_t bytes) { workDone += weights.ReadWork(bytes); }
  void AddErase() { workDone += weights.eraseUs; }
  void AddProgram(std::uint64_t bytes) { workDone += weights.ProgramWork(bytes); }
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
    Report(progress);
    return !CancelRequested();
  }
  // Reports where the job stands at a point where it cannot stop cleanly.
  void Report(const JobProgress& progress) {
    if (sink_)
      sink_(progress);
  }

 private:
  static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the cancel flag");
  ProgressSink sink_;
  std::atomic<bool> cancel_{false};
};

}  // namespace velwin::card
