#include "cli/cancel_on_signals.h"

#include <signal.h>

#include <atomic>

namespace velwin::cli {
namespace {

// A handler may touch only lock-free atomics.
std::atomic<card::JobControl*> gControl{nullptr};
volatile sig_atomic_t gSignal = 0;

struct sigaction gOldInt {};
struct sigaction gOldTerm {};

extern "C" void AskToCancel(int signal) {
  gSignal = signal;
  if (card::JobControl* control = gControl.load())
    control->RequestCancel();
}

// A signal the program was started with ignored (a background job of a
// shell script, nohup) stays ignored: whoever started it asked for that.
void Attend(int signal, const struct sigaction& action, struct sigaction& old) {
  ::sigaction(signal, nullptr, &old);
  if (old.sa_handler != SIG_IGN)
    ::sigaction(signal, &action, nullptr);
}

}  // namespace

CancelOnSignals::CancelOnSignals(card::JobControl& control) {
  static_assert(std::atomic<card::JobControl*>::is_always_lock_free);
  gSignal = 0;
  gControl.store(&control);
  struct sigaction action {};
  action.sa_handler = AskToCancel;
  // The cancel is only noted: a system call the signal came in (output to
  // a full pipe, a wait for the port's claim) goes on as if none had come,
  // instead of failing with EINTR and losing the result it was to carry.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  Attend(SIGINT, action, gOldInt);
  Attend(SIGTERM, action, gOldTerm);
}

CancelOnSignals::~CancelOnSignals() {
  ::sigaction(SIGINT, &gOldInt, nullptr);
  ::sigaction(SIGTERM, &gOldTerm, nullptr);
  gControl.store(nullptr);
}

int CancelOnSignals::Signal() const {
  return gSignal;
}

int CancelOnSignals::ExitStatus() const {
  return 128 + gSignal;
}

}  // namespace velwin::cli
