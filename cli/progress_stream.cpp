#include "cli/progress_stream.h"

#include <poll.h>
#include <unistd.h>

#include <ostream>

#include "cli/json_text.h"

namespace velwin::cli {
namespace {

constexpr auto kLineEvery = std::chrono::milliseconds(100);
// A poll of the control descriptor is one system call: a report comes once
// a page, so it is asked only every so often.
constexpr auto kCheckEvery = std::chrono::milliseconds(50);

}  // namespace

ProgressStream::ProgressStream(std::ostream& out, int controlFd, card::JobControl& control)
    : out_(out),
      controlFd_(controlFd),
      control_(control),
      lastLine_(Clock::now() - kLineEvery),
      lastCheck_(Clock::now() - kCheckEvery) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &brokenPipe_);
}

ProgressStream::~ProgressStream() {
  ::sigaction(SIGPIPE, &brokenPipe_, nullptr);
}

std::string_view ProgressStream::PhaseName(card::JobPhase phase) {
  switch (phase) {
    case card::JobPhase::kReading:
      return "reading";
    case card::JobPhase::kComparing:
      return "comparing";
    case card::JobPhase::kBackingUp:
      return "backing-up";
    case card::JobPhase::kErasing:
      return "erasing";
    case card::JobPhase::kProgramming:
      return "programming";
    case card::JobPhase::kVerifying:
      return "verifying";
  }
  return "working";
}

void ProgressStream::Show(const card::JobProgress& progress) {
  CheckControl();
  const Clock::time_point now = Clock::now();
  const bool changed = !any_ || progress.phase != lastPhase_ || progress.unit != lastUnit_;
  if (!changed && progress.Fraction() < 1.0 && now - lastLine_ < kLineEvery)
    return;
  any_ = true;
  lastPhase_ = progress.phase;
  lastUnit_ = progress.unit;
  lastLine_ = now;
  std::string line = "{\"phase\":\"";
  line += PhaseName(progress.phase);
  line += "\",\"unit\":" + std::to_string(progress.unit) +
          ",\"units\":" + std::to_string(progress.unitCount) +
          ",\"unitName\":" + JsonString(progress.unitName) +
          ",\"bytesDone\":" + std::to_string(progress.bytesDone) +
          ",\"bytesToDo\":" + std::to_string(progress.bytesToDo) +
          ",\"workDone\":" + std::to_string(progress.workDone) +
          ",\"workToDo\":" + std::to_string(progress.workToDo) + "}\n";
  Emit(line);
}

void ProgressStream::Log(std::string_view utf8) {
  Emit("{\"log\":" + JsonString(utf8) + "}\n");
}

void ProgressStream::Emit(const std::string& line) {
  out_ << line << std::flush;
  // The window that reads the stream is gone: the write stops where it
  // can rather than run on unwatched (SIGPIPE is ignored meanwhile).
  if (!out_)
    control_.RequestCancel();
}

void ProgressStream::CheckControl() {
  if (controlFd_ < 0)
    return;
  const Clock::time_point now = Clock::now();
  if (now - lastCheck_ < kCheckEvery)
    return;
  lastCheck_ = now;
  pollfd waiting{controlFd_, POLLIN, 0};
  if (::poll(&waiting, 1, 0) <= 0 || (waiting.revents & (POLLIN | POLLHUP | POLLERR)) == 0)
    return;
  char buffer[256];
  const ssize_t got = ::read(controlFd_, buffer, sizeof buffer);
  if (got == 0) {
    // The end of the input: whoever started the write has gone.
    controlFd_ = -1;
    control_.RequestCancel();
    return;
  }
  if (got < 0)
    return;
  pending_.append(buffer, static_cast<std::size_t>(got));
  for (std::size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
    if (pending_.compare(0, end, "cancel") == 0)
      control_.RequestCancel();
    pending_.erase(0, end + 1);
  }
  // A line that never ends is no command; it is not kept growing.
  if (pending_.size() > 64)
    pending_.clear();
}

}  // namespace velwin::cli
