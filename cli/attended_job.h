#pragma once

#include <iosfwd>
#include <optional>

#include "card/job_progress.h"
#include "cli/cancel_on_signals.h"
#include "cli/progress_line.h"

namespace velwin::cli {

// While it lives, a job on control shows its progress line on err (when err
// is a terminal) and stops at its next bank boundary on SIGINT or SIGTERM.
class AttendedJob {
 public:
  AttendedJob(card::JobControl& control, std::ostream& err, bool drawProgress);
  ~AttendedJob();
  AttendedJob(const AttendedJob&) = delete;
  AttendedJob& operator=(const AttendedJob&) = delete;

  // The exit status of a cancelled job: 130 after SIGINT, 143 after
  // SIGTERM, 1 for a cancel that came another way.
  int CancelledStatus() const;
  // Erases the progress line, so that a result printed next stands alone.
  void ClearProgressLine() const { line_.Clear(); }

 private:
  card::JobControl& control_;
  // The line goes before the signals are restored, so a signal during its
  // last redraw still only cancels.
  CancelOnSignals signals_;
  mutable ProgressLine line_;
};

}  // namespace velwin::cli
