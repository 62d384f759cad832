#pragma once

#include <signal.h>

#include <chrono>
#include <iosfwd>
#include <string>
#include <string_view>

#include "card/job_progress.h"

namespace velwin::cli {

// card write --progress-stream: the write as a program that runs velwin-cli
// for its user (the window, through pkexec) follows it. One JSON object a
// line on stdout, each flushed at once:
//   {"phase":"erasing","unit":5,"units":16,"unitName":"sector",
//    "bytesDone":...,"bytesToDo":...,"workDone":...,"workToDo":...}
//   {"log":"Old card contents saved to /home/ada/..."}
// and last the result object of --json. Standard input is the way back: a
// line "cancel", or the end of the input (the program that started the
// write is gone), stops the write at its next bank boundary, as SIGTERM
// does. That works where a signal cannot: a user's program may not signal a
// velwin-cli that runs as root.
class ProgressStream {
 public:
  using Clock = std::chrono::steady_clock;

  // controlFd: the descriptor read for "cancel"; -1 for none.
  // SIGPIPE is ignored while it lives: a reader that has gone stops the
  // write at its next bank rather than killing velwin-cli half-way.
  ProgressStream(std::ostream& out, int controlFd, card::JobControl& control);
  ~ProgressStream();
  ProgressStream(const ProgressStream&) = delete;
  ProgressStream& operator=(const ProgressStream&) = delete;

  // A report of the job: a line when the phase or the unit changes, when the
  // job is done, and otherwise at most ten a second.
  void Show(const card::JobProgress& progress);
  // A line the job says, as {"log": ...}.
  void Log(std::string_view utf8);

  // The name of a phase in the stream: "reading", "backing-up", "erasing",
  // "programming", "verifying", "comparing".
  static std::string_view PhaseName(card::JobPhase phase);

 private:
  // A line out; a reader that has gone (the pipe closed) stops the job.
  void Emit(const std::string& line);
  // Reads what waits on the control descriptor, without blocking.
  void CheckControl();

  std::ostream& out_;
  int controlFd_;
  card::JobControl& control_;
  Clock::time_point lastLine_;
  Clock::time_point lastCheck_;
  card::JobPhase lastPhase_ = card::JobPhase::kReading;
  std::uint32_t lastUnit_ = 0;
  bool any_ = false;
  std::string pending_;             // control input not yet ended by a newline
  struct sigaction brokenPipe_ {};  // what SIGPIPE did before
};

}  // namespace velwin::cli
