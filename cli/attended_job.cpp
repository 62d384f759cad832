#include "cli/attended_job.h"

namespace velwin::cli {

AttendedJob::AttendedJob(card::JobControl& control, std::ostream& err, bool drawProgress)
    : control_(control), signals_(control), line_(err, drawProgress) {
  control_.SetProgressSink([this](const card::JobProgress& progress) { line_.Show(progress); });
}

AttendedJob::~AttendedJob() {
  control_.SetProgressSink({});
}

int AttendedJob::CancelledStatus() const {
  return signals_.Signal() != 0 ? signals_.ExitStatus() : 1;
}

}  // namespace velwin::cli
