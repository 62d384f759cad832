#pragma once

#include <string>

namespace velwin::xchanger {

// Keeps the scheduler from pausing the process inside a page load, where it
// can: a pause longer than the chip's byte-load window cuts the page. The
// job prepares once before the first erase and raises the priority for the
// span of each page load only, dropping back between pages, so that a
// fault can never leave a real-time process holding a core.
class PageLoadPriority {
 public:
  virtual ~PageLoadPriority() = default;
  // Locks the process's memory for the write and checks that the priority
  // can be raised. False with the reason when either is not permitted; the
  // write goes on without them.
  virtual bool Prepare(std::string& why) = 0;
  virtual void Raise() = 0;
  virtual void Lower() = 0;
};

// The priority raised for one page load, lowered when it ends.
class RaisedForPageLoad {
 public:
  explicit RaisedForPageLoad(PageLoadPriority* priority) : priority_(priority) {
    if (priority_ != nullptr)
      priority_->Raise();
  }
  ~RaisedForPageLoad() {
    if (priority_ != nullptr)
      priority_->Lower();
  }
  RaisedForPageLoad(const RaisedForPageLoad&) = delete;
  RaisedForPageLoad& operator=(const RaisedForPageLoad&) = delete;

 private:
  PageLoadPriority* priority_;
};

}  // namespace velwin::xchanger
