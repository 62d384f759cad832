// The SRAM manager's part of the job log: each link job leaves an entry with
// the port, every line it logged, the card and how it ended.
#include "encoding/windows1252.h"
#include "sram/failure_line.h"
#include "sramman/sram_manager_form.h"

namespace velwin::sramman {
namespace {

constexpr const char* kWindowJob = "SRAM manager";

}  // namespace

void TSRAMManForm::BeginRecord() {
  jobFailed_ = false;
  jobCancelled_ = false;
  if (record_)
    record_->Begin(kWindowJob, portDescription_);
}

void TSRAMManForm::NameLinkJob(const std::string& name) {
  if (record_ && record_->InJob())
    record_->NameJob(std::string(kWindowJob) + ": " + name);
}

void TSRAMManForm::RecordLine(const std::string& message) {
  if (linkJobRunning_) {
    jobCancelled_ = jobCancelled_ || message.starts_with("Cancelled");
    jobFailed_ = jobFailed_ || IsFailureMessage(message);
  }
  if (record_)
    record_->Line(encoding::Windows1252ToUtf8(message));
}

void TSRAMManForm::EndRecord() {
  if (!record_ || !record_->InJob())
    return;
  // The card the job found: the flash card the link identified last.
  if (const int mbit = cart_.CardSizeMbit(); mbit != 0)
    record_->SetCard(std::to_string(mbit) + " Mbit flash card");
  const std::string problem = record_->End(jobCancelled_ ? "cancelled"
                                           : jobFailed_  ? "failed"
                                                         : "done");
  // Said once, in the status log, after the job's own lines.
  if (!problem.empty())
    LogStatus(encoding::Utf8ToWindows1252(problem));
}

}  // namespace velwin::sramman
