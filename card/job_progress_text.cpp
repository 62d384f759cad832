#include "card/job_progress_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velwin::card {
namespace {

const char* PhaseWord(JobPhase phase) {
  switch (phase) {
    case JobPhase::kReading:
      return "Reading";
    case JobPhase::kComparing:
      return "Comparing";
    case JobPhase::kBackingUp:
      return "Backing up";
    case JobPhase::kErasing:
      return "Erasing";
    case JobPhase::kProgramming:
      return "Programming";
    case JobPhase::kVerifying:
      return "Verifying";
  }
  return "Working";
}

}  // namespace

std::string JobStepText(const JobProgress& progress) {
  std::string text = PhaseWord(progress.phase);
  if (progress.unit != 0 && progress.unitCount != 0) {
    text += ' ';
    text += progress.unitName;
    text += ' ' + std::to_string(progress.unit) + " of " + std::to_string(progress.unitCount);
  }
  return text;
}

std::string TimeLeftText(double secondsRun, double fraction) {
  if (!(fraction > 0.0) || !(secondsRun >= 0.0))
    return {};
  const double left = fraction >= 1.0 ? 0.0 : secondsRun * (1.0 - fraction) / fraction;
  const auto seconds = static_cast<unsigned long long>(std::llround(std::min(left, 1e7)));
  char text[40];
  std::snprintf(text, sizeof text, "%llu:%02llu left", seconds / 60, seconds % 60);
  return text;
}

std::string ElapsedText(double seconds) {
  const auto whole = static_cast<unsigned long long>(std::llround(std::clamp(seconds, 0.0, 1e7)));
  char text[32];
  std::snprintf(text, sizeof text, "%llu:%02llu", whole / 60, whole % 60);
  return text;
}

}  // namespace velwin::card
