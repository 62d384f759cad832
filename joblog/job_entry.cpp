#include "joblog/job_entry.h"

namespace velwin::joblog {
namespace {

std::string Stamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0)
    return "(no date)";
  return text;
}

std::string Clean(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7F)
      c = '?';
  }
  return text;
}

}  // namespace

std::string JobEntryText(const JobEntry& entry) {
  std::string text = Stamp(entry.started) + " start: " + Clean(entry.job) +
                     "; port: " + (entry.port.empty() ? "none" : Clean(entry.port)) + '\n';
  for (const JobEntry::Line& line : entry.lines)
    text += Stamp(line.when) + "   " + Clean(line.text) + '\n';
  text += Stamp(entry.ended) + " end: " + Clean(entry.outcome) +
          "; card: " + (entry.card.empty() ? "none identified" : Clean(entry.card)) + '\n';
  return text;
}

}  // namespace velwin::joblog
