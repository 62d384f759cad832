#include "cli/job_record.h"

#include <algorithm>
#include <ctime>
#include <ostream>
#include <streambuf>
#include <utility>
#include <vector>

#include "cli/file_failure.h"
#include "joblog/job_entry.h"
#include "joblog/job_log_file.h"
#include "port/default_port.h"

namespace velwin::cli {
namespace {

std::string& NotedCard() {
  static std::string card;
  return card;
}

// Passes everything on to the stream's own buffer and keeps a copy of each
// finished line, as a terminal would end up showing it: a progress line,
// redrawn after a carriage return and erased before the next text, leaves
// nothing.
class LineCopy : public std::streambuf {
 public:
  LineCopy(std::ostream& stream, std::vector<joblog::JobEntry::Line>& lines)
      : stream_(stream), target_(stream.rdbuf()), lines_(lines) {
    stream_.rdbuf(this);
  }
  ~LineCopy() override {
    stream_.rdbuf(target_);
    if (!line_.empty())
      Finish();
  }
  LineCopy(const LineCopy&) = delete;
  LineCopy& operator=(const LineCopy&) = delete;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof()))
      return traits_type::not_eof(c);
    Keep(traits_type::to_char_type(c));
    return target_->sputc(traits_type::to_char_type(c));
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    for (std::streamsize i = 0; i < count; ++i)
      Keep(text[i]);
    return target_->sputn(text, count);
  }
  int sync() override { return target_->pubsync(); }

 private:
  void Keep(char c) {
    if (inEscape_) {
      // A terminal control sequence, "ESC [ ... letter": the line's erase.
      inEscape_ = !((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
      return;
    }
    if (c == '\x1b') {
      inEscape_ = true;
    } else if (c == '\r') {
      line_.clear();
    } else if (c == '\n') {
      Finish();
    } else {
      line_ += c;
    }
  }
  void Finish() {
    // A progress object of --progress-stream is the redrawn progress line
    // of a program that reads it: it leaves nothing either.
    if (!line_.starts_with("{\"phase\":"))
      lines_.push_back({std::time(nullptr), std::move(line_)});
    line_.clear();
  }

  std::ostream& stream_;
  std::streambuf* target_;
  std::vector<joblog::JobEntry::Line>& lines_;
  std::string line_;
  bool inEscape_ = false;
};

std::string PortOf(const Arguments& args) {
  const auto port = std::find(args.begin(), args.end(), "--port");
  if (port != args.end() && port + 1 != args.end())
    return *(port + 1);
  // The backups listing works on files alone.
  if (!args.empty() && args[0] == "backups")
    return {};
  return xchanger::DefaultPortDescription();
}

std::string OutcomeOf(int status) {
  const char* word = status == 0                        ? "done"
                     : (status == 130 || status == 143) ? "cancelled"
                                                        : "failed";
  return std::string(word) + " (exit " + std::to_string(status) + ")";
}

}  // namespace

void NoteCard(const std::string& description) {
  NotedCard() = description;
}

int RunRecorded(const std::string& words, const Arguments& args, std::ostream& out,
                std::ostream& err, const std::string& logPath, const RecordedCommand& command) {
  return RunRecorded(
      words, args, out, err,
      [&logPath](const std::string& text) { return joblog::AppendToJobLog(logPath, text); },
      command);
}

int RunRecorded(const std::string& words, const Arguments& args, std::ostream& out,
                std::ostream& err, const LogAppender& append, const RecordedCommand& command) {
  NotedCard().clear();
  std::string job = "velwin-cli " + words;
  for (const std::string& arg : args)
    job += ' ' + ShownName(arg);
  const std::time_t started = std::time(nullptr);
  std::vector<joblog::JobEntry::Line> lines;
  int status = 0;
  {
    const LineCopy outCopy(out, lines);
    const LineCopy errCopy(err, lines);
    status = command(args, out, err);
  }
  if (status == 2)
    return status;
  joblog::JobEntry entry;
  entry.started = started;
  entry.job = job;
  entry.port = PortOf(args);
  entry.lines = std::move(lines);
  entry.ended = std::time(nullptr);
  entry.card = NotedCard();
  entry.outcome = OutcomeOf(status);
  if (const std::string error = append(joblog::JobEntryText(entry)); !error.empty()) {
    err << "velwin-cli: the job log could not be written (" << ShownName(error)
        << "); the job went on without it.\n";
  }
  return status;
}

}  // namespace velwin::cli
