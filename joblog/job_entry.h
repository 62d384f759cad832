#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace velwin::joblog {

// One job as the log keeps it: what ran, on which port, the lines it said,
// the card it found and how it ended.
struct JobEntry {
  struct Line {
    std::time_t when = 0;
    std::string text;  // UTF-8
  };

  std::time_t started = 0;
  std::string job;   // "velwin-cli card write game.gb", "SRAM manager: Analyse Cart"
  std::string port;  // the port's description, as given
  std::vector<Line> lines;
  std::time_t ended = 0;
  std::string card;     // what was found in the X-Changer; empty when nothing was
  std::string outcome;  // "done", "failed", "cancelled", with the exit status for a command
};

// The entry as lines of the log file, each starting with its local date and
// time:
//   2026-12-07 22:10:05 start: velwin-cli card read c.gb; port: demo
//   2026-12-07 22:10:09   16 Mbit flash card read to c.gb (2097152 bytes).
//   2026-12-07 22:10:09 end: done (exit 0); card: 16 Mbit flash card
// Control characters but the tab in any text become '?', so that no name can make a
// line of its own or look like another entry.
std::string JobEntryText(const JobEntry& entry);

}  // namespace velwin::joblog
