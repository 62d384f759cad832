#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "card/job_progress.h"

namespace velwin::cli {

// Whether stderr is a terminal: the progress line is drawn only there, so
// logs and pipes never see it.
bool StderrIsTerminal();

// One line on a terminal, redrawn in place: the phase and the unit in hand,
// the percent of the whole job and the time left, e.g.
// "Erasing sector 5 of 16  52%  1:20 left". The percent never goes back.
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
  // Erases the line, before anything else is printed on the same terminal;
  // the next report draws it again.
  void Clear();
  // The line for a report after secondsRun, as Show draws it.
  std::string Text(const card::JobProgress& progress, double secondsRun);

 private:
  std::ostream& err_;
  bool enabled_;
  bool drawn_ = false;
  Clock::time_point start_;
  Clock::time_point lastDraw_;
  double fraction_ = 0.0;  // the most shown so far
};

}  // namespace velwin::cli
