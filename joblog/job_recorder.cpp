#include "joblog/job_recorder.h"

#include <utility>

#include "joblog/job_log_file.h"

namespace velwin::joblog {

JobRecorder::JobRecorder(std::string path, Clock now)
    : path_(std::move(path)), now_(std::move(now)) {}

void JobRecorder::Begin(const std::string& job, const std::string& port) {
  if (inJob_)
    End("unfinished");
  entry_ = JobEntry{};
  entry_.started = now_();
  entry_.job = job;
  entry_.port = port;
  inJob_ = true;
}

void JobRecorder::Line(const std::string& text) {
  const bool alone = !inJob_;
  if (alone) {
    const std::string port = entry_.port;  // the port of the job before
    Begin("note", port);
  }
  // A message of several lines keeps each as a line of the log.
  std::string::size_type start = 0;
  while (start <= text.size()) {
    const auto end = text.find('\n', start);
    entry_.lines.push_back({now_(), text.substr(start, end - start)});
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  if (alone)
    End("noted");
}

std::string JobRecorder::End(const std::string& outcome) {
  if (!inJob_)
    return {};
  inJob_ = false;
  entry_.ended = now_();
  entry_.outcome = outcome;
  const std::string error = AppendToJobLog(path_, JobEntryText(entry_));
  entry_.lines.clear();
  if (error.empty() || failureSaid_)
    return {};
  failureSaid_ = true;
  return "The job log could not be written (" + error + "); jobs go on without it.";
}

}  // namespace velwin::joblog
