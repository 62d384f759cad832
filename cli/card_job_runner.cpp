#include "cli/card_job_runner.h"

#include <ostream>

#include "cli/card_json.h"
#include "cli/file_failure.h"
#include "cli/help_text.h"
#include "cli/json_text.h"
#include "fileio/file_error.h"

namespace velwin::cli {
namespace {

void ReportFailure(const CardOptions& options, std::string reason, std::ostream& out,
                   std::ostream& err, const card::CardIdentity* card) {
  // Every failure has its words; an empty one would be a fault here.
  if (reason.empty())
    reason = "The job failed without saying why.";
  ReportCardFailure(err, *options.file, reason);
  if (options.json) {
    out << '{' << JsonCardMembers(card) << ",\"file\":" << JsonString(*options.file)
        << ",\"error\":" << JsonString(reason) << "}\n";
  }
}

}  // namespace

int ReportOutcome(const card::JobOutcome& outcome, const CardOptions& options,
                  const AttendedJob& attended, std::ostream& out, std::ostream& err,
                  const card::CardIdentity* card) {
  attended.ClearProgressLine();
  const bool cancelled = outcome.status == card::JobStatus::kCancelled;
  ReportFailure(options, cancelled ? std::string("Cancelled; nothing written.") : outcome.message,
                out, err, card);
  return cancelled ? attended.CancelledStatus() : 1;
}

int RunCardJob(std::string_view verb, const Arguments& args,
               std::span<const std::string_view> ownFlags, std::ostream& out, std::ostream& err,
               const CardJob& job) {
  CardOptions options;
  if (const auto problem = ParseCardOptions(args, ownFlags, true, options)) {
    return ReportCardUsage(err, verb, *problem, options);
  }
  const auto session =
      CardSession::Open(options.port, err, options.json ? &out : nullptr, options.trace);
  if (!session)
    return 1;
  int status = 1;
  // The signals stay attended up to the last step, the simulated cart's
  // files written back included, so a signal there cannot kill the program
  // before it has said what it did.
  AttendedJob attended(session->Control(), err, StderrIsTerminal());
  const card::CardIdentification found = session->Identify();
  if (!found.card) {
    ReportFailure(options, found.error, out, err, nullptr);
  } else {
    try {
      status = job(*session, *found.card, options, attended, out, err);
    } catch (const fileio::FileError& error) {
      attended.ClearProgressLine();
      ReportFailure(options, FileFailureReason(*options.file, error.code()), out, err,
                    &*found.card);
      status = 1;
    }
  }
  if (!session->Flush(err))
    return 1;
  return status;
}

}  // namespace velwin::cli
