#pragma once

#include "card/job_progress.h"

namespace velwin::cli {

// While it lives, SIGINT and SIGTERM ask the job on control to stop at its
// next bank boundary instead of killing the program half-way, so the job
// can remove its temporary file and leave the chip in read mode. A signal
// ignored when it came stays ignored. The handlers it replaced come back
// when it goes.
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
