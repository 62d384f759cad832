#pragma once

#include "card/job_progress.h"

namespace velwin::cli {

// Called first thing in main, before any other work: from then on SIGINT
// and SIGTERM are noted instead of ending the program, so that one that
// comes in the first moments, before a job has begun, still reaches the
// job (which then stops at once and says so) rather than killing the
// program without a word. The two signals are unblocked too: whoever
// started the program blocked them for itself, not for the job. A signal
// ignored at start stays ignored.
void HoldSignals();
// Gives SIGINT and SIGTERM back their dispositions from before HoldSignals,
// for commands that attend no signal; one that came in the meantime and
// went to no job then takes its course. Does nothing without HoldSignals.
void ReleaseSignals();

// While it lives, SIGINT and SIGTERM ask the job on control to stop at its
// next bank boundary instead of killing the program half-way, so the job
// can remove its temporary file and leave the chip in read mode. A signal
// held since the start of the program asks at once. A signal ignored when
// it came stays ignored. The handlers it replaced come back when it goes.
class CancelOnSignals {
 public:
  explicit CancelOnSignals(card::JobControl& control);
  ~CancelOnSignals();
  CancelOnSignals(const CancelOnSignals&) = delete;
  CancelOnSignals& operator=(const CancelOnSignals&) = delete;

  // The signal that asked for the cancel, 0 when none came.
  int Signal() const;
  // 128 + the signal, as a shell reports a program the signal ended: 130
  // for SIGINT, 143 for SIGTERM.
  int ExitStatus() const;
};

}  // namespace velwin::cli
