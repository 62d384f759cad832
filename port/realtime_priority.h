#pragma once

#include <string>

#include "port/page_load_priority.h"

namespace velwin::xchanger {

// Real-time scheduling (SCHED_FIFO) for each page load and locked memory
// for the whole write, where the user may have them: root, CAP_SYS_NICE
// and CAP_IPC_LOCK, or the RLIMIT_RTPRIO and RLIMIT_MEMLOCK limits. The
// destructor unlocks the memory and restores the scheduling it found.
class RealtimePriority final : public PageLoadPriority {
 public:
  RealtimePriority();
  ~RealtimePriority() override;
  RealtimePriority(const RealtimePriority&) = delete;
  RealtimePriority& operator=(const RealtimePriority&) = delete;

  bool Prepare(std::string& why) override;
  void Raise() override;
  void Lower() override;

  // Whether this process may switch to real-time scheduling: tried, and
  // undone at once.
  static bool Available();

 private:
  int policy_;    // the scheduling found at the start
  int priority_;  // its static priority
  bool realtime_ = false;
  bool locked_ = false;
};

}  // namespace velwin::xchanger
