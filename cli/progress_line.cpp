#include "cli/progress_line.h"

#include <unistd.h>

#include <cstdio>
#include <ostream>

namespace velwin::cli {
namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

const char* PhaseName(card::JobPhase phase) {
  switch (phase) {
    case card::JobPhase::kReading:
      return "reading";
    case card::JobPhase::kComparing:
      return "comparing";
    case card::JobPhase::kBackingUp:
      return "backing up";
    case card::JobPhase::kErasing:
      return "erasing";
    case card::JobPhase::kProgramming:
      return "programming";
  }
  return "working";
}

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

void ProgressLine::Show(const card::JobProgress& progress) {
  if (!enabled_)
    return;
  const Clock::time_point now = Clock::now();
  const bool last = progress.bytesDone >= progress.bytesToDo;
  if (now - lastDraw_ < kRedrawEvery && !last)
    return;
  lastDraw_ = now;

  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(progress.bytesDone) / seconds : 0.0;
  const unsigned percent =
      progress.bytesToDo == 0
          ? 100u
          : static_cast<unsigned>(progress.bytesDone * 100 / progress.bytesToDo);
  char line[128];
  if (rate > 0) {
    const auto left = static_cast<unsigned long>(
        static_cast<double>(progress.bytesToDo - progress.bytesDone) / rate);
    std::snprintf(line, sizeof line, "%s %3u%%  bank %u  %.0f KiB/s  %lu:%02lu left",
                  PhaseName(progress.phase), percent, static_cast<unsigned>(progress.bank),
                  rate / 1024.0, left / 60, left % 60);
  } else {
    std::snprintf(line, sizeof line, "%s %3u%%  bank %u", PhaseName(progress.phase), percent,
                  static_cast<unsigned>(progress.bank));
  }
  err_ << "\r\x1b[K" << line << std::flush;
  drawn_ = true;
}

}  // namespace velwin::cli
