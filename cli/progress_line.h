#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>

#include "card/job_progress.h"

namespace velwin::cli {

// Whether stderr is a terminal: the progress line is drawn only there, so
// logs and pipes never see it.
bool StderrIsTerminal();

// One line on a terminal, redrawn in place: phase, percent, bank, KiB/s and
// the time left, e.g. "reading  45%  bank 230  612 KiB/s  0:07 left".
class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;

  // Draws nothing when not enabled.
  ProgressLine(std::ostream& err, bool enabled);
  // Clears the line, so that the result stands alone.
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Called at every bank boundary; redraws at most ten times a second.
  void Show(const card::JobProgress& progress);
  // Erases the line, before a result is printed on the same terminal.
  void Clear();

 private:
  std::ostream& err_;
  bool enabled_;
  bool drawn_ = false;
  Clock::time_point start_;
  Clock::time_point lastDraw_;
};

}  // namespace velwin::cli
