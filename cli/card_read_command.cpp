#include <ostream>
#include <string>
#include <string_view>

#include "card/card_read_job.h"
#include "card/card_verify.h"
#include "cli/attended_job.h"
#include "cli/card_session.h"
#include "cli/card_verbs.h"
#include "cli/file_failure.h"
#include "cli/help_text.h"
#include "cli/json_text.h"
#include "encoding/windows1252.h"
#include "fileio/file_error.h"

namespace velwin::cli {
namespace {

constexpr std::span<const std::string_view> kNoOwnFlags{};

void PrintJsonFailure(std::ostream& out, const std::string& file, const std::string& reason) {
  out << "{\"file\":" << JsonString(encoding::NameToUtf8(file))
      << ",\"error\":" << JsonString(reason) << "}\n";
}

// A failed, cancelled or refused job: the line on err, the JSON on out.
int ReportOutcome(const card::JobOutcome& outcome, const CardOptions& options,
                  const AttendedJob& attended, std::ostream& out, std::ostream& err) {
  const std::string reason = outcome.status == card::JobStatus::kCancelled
                                 ? "Cancelled; nothing written."
                                 : outcome.message;
  ReportCardFailure(err, *options.file, reason);
  if (options.json)
    PrintJsonFailure(out, *options.file, reason);
  return outcome.status == card::JobStatus::kCancelled ? attended.CancelledStatus() : 1;
}

int ReportFileProblem(const fileio::FileError& error, const CardOptions& options, std::ostream& out,
                      std::ostream& err) {
  const std::string reason = FileFailureReason(*options.file, error.code());
  ReportCardFailure(err, *options.file, reason);
  if (options.json)
    PrintJsonFailure(out, *options.file, reason);
  return 1;
}

// Opens the port, finds the card and runs job on it with progress and the
// signals attended; flushes a simulated cart's files at the end.
template <typename Job>
int RunCardJob(const char* verb, const Arguments& args, std::ostream& out, std::ostream& err,
               Job job) {
  CardOptions options;
  if (const auto problem = ParseCardOptions(args, kNoOwnFlags, true, options)) {
    err << "velwin-cli card " << verb << ": " << *problem << '\n' << CommandHelp("card");
    return 2;
  }
  const auto session = CardSession::Open(options.port, err);
  if (!session)
    return 1;
  int status = 1;
  if (const auto card = session->Identify(*options.file, err)) {
    AttendedJob attended(session->Control(), err, StderrIsTerminal());
    try {
      status = job(*session, *card, options, attended, out, err);
    } catch (const fileio::FileError& error) {
      status = ReportFileProblem(error, options, out, err);
    }
  } else if (options.json) {
    PrintJsonFailure(out, *options.file, "no card");
  }
  if (!session->Flush(err))
    return 1;
  return status;
}

}  // namespace

int RunCardRead(const Arguments& args, std::ostream& out, std::ostream& err) {
  return RunCardJob(
      "read", args, out, err,
      [](CardSession& session, const card::CardIdentity& card, const CardOptions& options,
         const AttendedJob& attended, std::ostream& o, std::ostream& e) {
        const card::JobOutcome outcome =
            card::ReadCardToFile(session.Cart(), card, *options.file, session.Control());
        if (!outcome.Ok())
          return ReportOutcome(outcome, options, attended, o, e);
        const std::string description = card::CardDescription(card);
        if (options.json) {
          o << "{\"card\":" << JsonString(description) << ",\"bytes\":" << card.Bytes()
            << ",\"file\":" << JsonString(encoding::NameToUtf8(*options.file)) << "}\n";
        } else {
          o << description << " read to " << encoding::NameToUtf8(*options.file) << " ("
            << card.Bytes() << " bytes).\n";
        }
        return 0;
      });
}

int RunCardVerify(const Arguments& args, std::ostream& out, std::ostream& err) {
  return RunCardJob(
      "verify", args, out, err,
      [](CardSession& session, const card::CardIdentity& card, const CardOptions& options,
         const AttendedJob& attended, std::ostream& o, std::ostream& e) {
        const card::VerifyResult result =
            card::VerifyCardWithFile(session.Cart(), card, *options.file, session.Control());
        if (!result.outcome.Ok()) {
          card::JobOutcome outcome = result.outcome;
          if (outcome.status == card::JobStatus::kCancelled)
            outcome = card::JobOutcome::Failed("Cancelled.");
          const int status = ReportOutcome(outcome, options, attended, o, e);
          return result.outcome.status == card::JobStatus::kCancelled ? attended.CancelledStatus()
                                                                      : status;
        }
        const std::string name = encoding::NameToUtf8(*options.file);
        if (options.json) {
          o << "{\"file\":" << JsonString(name) << ",\"bytes\":" << result.bytes
            << ",\"matches\":" << (result.Matches() ? "true" : "false")
            << ",\"banksDiffering\":" << result.banksDiffering;
          if (!result.Matches()) {
            o << ",\"firstDifference\":" << result.firstDifference
              << ",\"firstDifferingBank\":" << result.firstDifferingBank;
          }
          o << "}\n";
        } else {
          o << card::VerifyResultText(result, name) << '\n';
        }
        return result.Matches() ? 0 : 1;
      });
}

}  // namespace velwin::cli
