// velwin-cli card read and card verify: the whole card to a file, and the
// card compared with one.
#include <ostream>
#include <string>

#include "card/card_read_job.h"
#include "card/card_verify.h"
#include "cli/attended_job.h"
#include "cli/card_job_runner.h"
#include "cli/card_json.h"
#include "cli/card_session.h"
#include "cli/card_verbs.h"
#include "cli/file_failure.h"
#include "cli/json_text.h"

namespace velwin::cli {

int RunCardRead(const Arguments& args, std::ostream& out, std::ostream& err) {
  return RunCardJob(
      "read", args, {}, out, err,
      [](CardSession& session, const card::CardIdentity& card, const CardOptions& options,
         const AttendedJob& attended, std::ostream& o, std::ostream& e) {
        const card::JobOutcome outcome =
            card::ReadCardToFile(session.Cart(), card, *options.file, session.Control());
        if (!outcome.Ok())
          return ReportOutcome(outcome, options, attended, o, e, &card);
        attended.ClearProgressLine();
        const std::string description = card::CardDescription(card);
        if (options.json) {
          o << '{' << JsonCardMembers(&card) << ",\"bytes\":" << card.Bytes()
            << ",\"file\":" << JsonString(*options.file) << "}\n";
        } else {
          o << description << " read to " << ShownName(*options.file) << " (" << card.Bytes()
            << " bytes).\n";
        }
        return 0;
      });
}

int RunCardVerify(const Arguments& args, std::ostream& out, std::ostream& err) {
  return RunCardJob(
      "verify", args, {}, out, err,
      [](CardSession& session, const card::CardIdentity& card, const CardOptions& options,
         const AttendedJob& attended, std::ostream& o, std::ostream& e) {
        const card::VerifyResult result =
            card::VerifyCardWithFile(session.Cart(), card, *options.file, session.Control());
        if (!result.outcome.Ok()) {
          card::JobOutcome outcome = result.outcome;
          if (outcome.status == card::JobStatus::kCancelled)
            outcome = card::JobOutcome::Failed("Cancelled.");
          const int status = ReportOutcome(outcome, options, attended, o, e, &card);
          return result.outcome.status == card::JobStatus::kCancelled ? attended.CancelledStatus()
                                                                      : status;
        }
        attended.ClearProgressLine();
        if (options.json) {
          o << '{' << JsonCardMembers(&card) << ",\"file\":" << JsonString(*options.file)
            << ",\"bytes\":" << result.bytes
            << ",\"matches\":" << (result.Matches() ? "true" : "false")
            << ",\"banksDiffering\":" << result.banksDiffering;
          if (!result.Matches()) {
            // A difference fails the command as any other failure does, and
            // says so in the same member.
            o << ",\"firstDifference\":" << result.firstDifference
              << ",\"firstDifferingBank\":" << result.firstDifferingBank
              << ",\"error\":" << JsonString(card::VerifyResultText(result, *options.file));
          }
          o << "}\n";
        } else {
          o << card::VerifyResultText(result, ShownName(*options.file)) << '\n';
        }
        return result.Matches() ? 0 : 1;
      });
}

}  // namespace velwin::cli
