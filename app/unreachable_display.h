#pragma once

#include <string>

namespace velwin::app {

// While it lives, a GUI library that cannot reach the display ends the
// program with the one line the program gives for a missing display, and
// exit status 1: the library itself would abort, after a text that blames
// the installation. Put it around the application's creation only. What the
// library says meanwhile is held back and passed on when the guard goes, so
// that a display that answers changes nothing.
class UnreachableDisplayGuard {
 public:
  // line: the whole line to end with.
  explicit UnreachableDisplayGuard(std::string line);
  ~UnreachableDisplayGuard();
  UnreachableDisplayGuard(const UnreachableDisplayGuard&) = delete;
  UnreachableDisplayGuard& operator=(const UnreachableDisplayGuard&) = delete;
};

}  // namespace velwin::app
