#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "joblog/job_entry.h"

namespace velwin::joblog {

// Gathers one job at a time and adds it to the log file when it ends. A log
// that cannot be written never stops a job: the recorder says why once, the
// first time, and stays quiet about it afterwards.
class JobRecorder {
 public:
  using Clock = std::function<std::time_t()>;

  // path: the log file (JobLogPath); empty when there is no place for one.
  explicit JobRecorder(
      std::string path, Clock now = [] { return std::time(nullptr); });

  const std::string& Path() const { return path_; }
  bool InJob() const { return inJob_; }

  // Starts a job's entry; one still open is ended first as "unfinished".
  void Begin(const std::string& job, const std::string& port);
  // One line the job said; outside a job it is kept as an entry of its own.
  void Line(const std::string& text);
  // Names the job in hand, once it is known what it is.
  void NameJob(const std::string& job) { entry_.job = job; }
  void SetCard(const std::string& card) { entry_.card = card; }
  // Writes the entry. Returns the sentence saying that the log could not be
  // written, the first time that happens; otherwise an empty string.
  std::string End(const std::string& outcome);

 private:
  std::string path_;
  Clock now_;
  JobEntry entry_;
  bool inJob_ = false;
  bool failureSaid_ = false;
};

}  // namespace velwin::joblog
