#pragma once

#include <string>

#include "card/job_progress.h"

namespace velwin::card {

// The phase and the unit in hand, as the progress line and the window show
// them: "Erasing sector 5 of 16", "Backing up bank 230 of 512"; the phase
// alone before the first unit.
std::string JobStepText(const JobProgress& progress);

// "1:20 left": the time a job still needs if the rest goes as fast as what
// it has done in secondsRun, fraction being how much of it is done; empty
// while nothing is done, when there is nothing to go by.
std::string TimeLeftText(double secondsRun, double fraction);

// "2:05": how long a finished job took, in minutes and seconds.
std::string ElapsedText(double seconds);

}  // namespace velwin::card
