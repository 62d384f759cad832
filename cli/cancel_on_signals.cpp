#include "cli/cancel_on_signals.h"

#include <signal.h>

#include <atomic>

namespace velwin::cli {
namespace {

// A handler may touch only lock-free atomics.
std::atomic<card::JobControl*> gControl{nullptr};
volatile sig_atomic_t gSignal = 0;   // the one that asked the job to stop
volatile sig_atomic_t gPending = 0;  // one that came while no job ran

struct sigaction gOldInt {};
struct sigaction gOldTerm {};

// What the program was started with, while HoldSignals is in force.
bool gHeld = false;
struct sigaction gStartInt {};
struct sigaction gStartTerm {};
sigset_t gStartMask;

extern "C" void NoteSignal(int signal) {
  if (card::JobControl* control = gControl.load()) {
    gSignal = signal;
    control->RequestCancel();
  } else {
    gPending = signal;
  }
}

struct sigaction NotingAction() {
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  // The cancel is only noted: a system call the signal came in (output to
  // a full pipe, a wait for the port's claim) goes on as if none had come,
  // instead of failing with EINTR and losing the result it was to carry.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  return action;
}

// A signal the program was started with ignored (a background job of a
// shell script, nohup) stays ignored: whoever started it asked for that.
void Attend(int signal, const struct sigaction& action, struct sigaction& old) {
  ::sigaction(signal, nullptr, &old);
  if (old.sa_handler != SIG_IGN)
    ::sigaction(signal, &action, nullptr);
}

}  // namespace

void HoldSignals() {
  if (gHeld)
    return;
  gHeld = true;
  const struct sigaction action = NotingAction();
  Attend(SIGINT, action, gStartInt);
  Attend(SIGTERM, action, gStartTerm);
  sigset_t both;
  sigemptyset(&both);
  sigaddset(&both, SIGINT);
  sigaddset(&both, SIGTERM);
  ::sigprocmask(SIG_UNBLOCK, &both, &gStartMask);
}

void ReleaseSignals() {
  if (!gHeld)
    return;
  gHeld = false;
  ::sigaction(SIGINT, &gStartInt, nullptr);
  ::sigaction(SIGTERM, &gStartTerm, nullptr);
  ::sigprocmask(SIG_SETMASK, &gStartMask, nullptr);
  if (const int pending = gPending; pending != 0) {
    gPending = 0;
    ::raise(pending);
  }
}

CancelOnSignals::CancelOnSignals(card::JobControl& control) {
  static_assert(std::atomic<card::JobControl*>::is_always_lock_free);
  gSignal = 0;
  gControl.store(&control);
  // A signal that came before the job began is this job's to answer.
  if (const int early = gPending; early != 0) {
    gPending = 0;
    gSignal = early;
    control.RequestCancel();
  }
  const struct sigaction action = NotingAction();
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
