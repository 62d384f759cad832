#pragma once

#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

#include "card/card_kind.h"
#include "card/job_progress.h"
#include "cli/arguments.h"
#include "cli/attended_job.h"
#include "cli/card_session.h"

namespace velwin::cli {

// A card command's work once the card is identified; returns the exit code.
using CardJob = std::function<int(CardSession& session, const card::CardIdentity& card,
                                  const CardOptions& options, const AttendedJob& attended,
                                  std::ostream& out, std::ostream& err)>;

// What the card commands that work on a FILE share: parses
// "[--port PORT] [--json] [FLAG...] FILE", opens the port, finds and
// identifies the card and runs job with its progress line and the signals
// attended. A file error thrown by the job is reported against FILE; a
// simulated cart's files are written back at the end.
int RunCardJob(std::string_view verb, const Arguments& args,
               std::span<const std::string_view> ownFlags, std::ostream& out, std::ostream& err,
               const CardJob& job);

// A failed, cancelled or refused job: "velwin-cli: FILE: REASON" on err
// ("Cancelled; nothing written." for a cancel), and with --json the object
// {"card": ..., "cardName": ..., "file": FILE, "error": REASON} on out, the
// card given as every card command gives it. Returns 1, or 130 or 143 for a
// job a signal stopped.
int ReportOutcome(const card::JobOutcome& outcome, const CardOptions& options,
                  const AttendedJob& attended, std::ostream& out, std::ostream& err,
                  const card::CardIdentity* card = nullptr);

}  // namespace velwin::cli
