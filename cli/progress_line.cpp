#include "cli/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ostream>

#include "card/job_progress_text.h"

namespace velwin::cli {
namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

}  // namespace

bool StderrIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

ProgressLine::ProgressLine(std::ostream& err, bool enabled)
    : err_(err), enabled_(enabled), start_(Clock::now()), lastDraw_(start_ - kRedrawEvery) {}

ProgressLine::~ProgressLine() {
  Clear();
}

void ProgressLine::Clear() {
  if (drawn_)
    err_ << "\r\x1b[K" << std::flush;  // back to the start, line erased
  drawn_ = false;
}

std::string ProgressLine::Text(const card::JobProgress& progress, double secondsRun) {
  // A write learns how much it has to do only once it has read the card, so
  // its total may shrink and the fraction jump ahead; it is never shown
  // going back.
  fraction_ = std::max(fraction_, progress.Fraction());
  const auto percent = static_cast<unsigned>(std::floor(fraction_ * 100.0));
  std::string line = card::JobStepText(progress) + "  " + std::to_string(percent) + "%";
  const std::string left = card::TimeLeftText(secondsRun, fraction_);
  if (!left.empty())
    line += "  " + left;
  return line;
}

void ProgressLine::Show(const card::JobProgress& progress) {
  if (!enabled_)
    return;
  const Clock::time_point now = Clock::now();
  // Reports come once a page or buffer: the line is made only when drawn.
  const bool last = std::max(fraction_, progress.Fraction()) >= 1.0;
  if (now - lastDraw_ < kRedrawEvery && !last && drawn_)
    return;
  lastDraw_ = now;
  err_ << "\r\x1b[K" << Text(progress, std::chrono::duration<double>(now - start_).count())
       << std::flush;
  drawn_ = true;
}

}  // namespace velwin::cli
