#include "port/realtime_priority.h"

#include <sched.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstring>

namespace velwin::xchanger {

namespace {

// The lowest real-time priority is enough to stay ahead of every ordinary
// process; the kernel's interrupt threads (priority 50) keep theirs above it.
constexpr int kPageLoadPriority = 1;

bool SetScheduling(int policy, int priority) {
  sched_param param{};
  param.sched_priority = priority;
  return sched_setscheduler(0, policy, &param) == 0;
}

}  // namespace

RealtimePriority::RealtimePriority() : policy_(sched_getscheduler(0)), priority_(0) {
  sched_param param{};
  if (sched_getparam(0, &param) == 0)
    priority_ = param.sched_priority;
  if (policy_ < 0)
    policy_ = SCHED_OTHER;
}

RealtimePriority::~RealtimePriority() {
  Lower();
  if (locked_)
    munlockall();
}

bool RealtimePriority::Available() {
  const int policy = sched_getscheduler(0);
  sched_param param{};
  sched_getparam(0, &param);
  if (!SetScheduling(SCHED_FIFO, kPageLoadPriority))
    return false;
  SetScheduling(policy < 0 ? SCHED_OTHER : policy, param.sched_priority);
  return true;
}

bool RealtimePriority::Prepare(std::string& why) {
  // What is mapped now: the card's contents and the plan are in memory by
  // the time the write starts. Memory allocated later stays unlocked, so a
  // tight RLIMIT_MEMLOCK can never make an allocation fail.
  locked_ = mlockall(MCL_CURRENT) == 0;
  const int lockError = locked_ ? 0 : errno;
  realtime_ = Available();
  if (locked_ && realtime_)
    return true;
  std::string missing;
  if (!realtime_)
    missing = "real-time scheduling is not permitted";
  if (!locked_) {
    missing += missing.empty() ? "" : " and ";
    missing += "memory cannot be locked (" + std::string(std::strerror(lockError)) + ")";
  }
  why = "Page loads run without protection from the scheduler: " + missing +
        ". The write goes on; a page load that a pause cuts is loaded again. Root, or "
        "CAP_SYS_NICE and CAP_IPC_LOCK, or the rtprio and memlock limits permit both.";
  return false;
}

void RealtimePriority::Raise() {
  if (realtime_)
    SetScheduling(SCHED_FIFO, kPageLoadPriority);
}

void RealtimePriority::Lower() {
  if (realtime_)
    SetScheduling(policy_, priority_);
}

}  // namespace velwin::xchanger
