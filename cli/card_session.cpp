#include "cli/card_session.h"

#include <algorithm>
#include <ostream>
#include <utility>

#include "cli/card_json.h"
#include "cli/file_failure.h"
#include "cli/help_text.h"
#include "cli/job_record.h"
#include "cli/json_text.h"
#include "cli/port_arguments.h"
#include "port/default_port.h"

namespace velwin::cli {

bool CardOptions::Has(std::string_view flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::optional<std::string> ParseCardOptions(const Arguments& args,
                                            std::span<const std::string_view> ownFlags,
                                            bool takesFile, CardOptions& options) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (!takesFile || options.file)
        return "unexpected argument '" + arg + "'";
      options.file = arg;
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--port") {
      if (i + 1 >= args.size())
        return "--port needs a value";
      options.port = args[++i];
    } else if (std::optional<std::string> problem;
               TakeTraceOption(args, i, options.trace, problem)) {
      if (problem)
        return problem;
    } else if (arg == "--json") {
      options.json = true;
    } else if (std::find(ownFlags.begin(), ownFlags.end(), arg) != ownFlags.end()) {
      options.flags.push_back(arg);
    } else {
      options.unknownOption = arg;
      return "Unknown option";
    }
  }
  if (takesFile && !options.file)
    return "missing FILE";
  if (options.port.empty())
    options.port = xchanger::DefaultPortDescription();
  return std::nullopt;
}

int ReportCardUsage(std::ostream& err, std::string_view verb, const std::string& problem,
                    const CardOptions& options) {
  if (!options.unknownOption.empty())
    ReportFileFailure(err, options.unknownOption, problem);
  else
    err << "velwin-cli card " << verb << ": " << problem << '\n';
  err << CommandHelp("card");
  return 2;
}

std::unique_ptr<CardSession> CardSession::Open(const std::string& port, std::ostream& err,
                                               std::ostream* json, const std::string& trace) {
  auto backend = OpenCommandPort(port, trace, err, json, JsonCardMembers(nullptr) + ",");
  if (!backend)
    return nullptr;
  return std::make_unique<CardSession>(std::move(backend));
}

CardSession::CardSession(std::unique_ptr<xchanger::PortBackend> port)
    : port_(std::move(port)), link_(*port_, ticks_, pump_), cart_(link_) {}

card::CardIdentification CardSession::Identify() {
  card::CardIdentification found = card::IdentifyCard(cart_);
  if (found.card)
    NoteCard(card::CardDescription(*found.card));
  return found;
}

bool CardSession::Flush(std::ostream& err) {
  std::string error;
  if (port_->Flush(error))
    return true;
  err << "velwin-cli: " << error << '\n';
  return false;
}

void ReportCardFailure(std::ostream& err, const std::string& name, const std::string& reason) {
  ReportFileFailure(err, name, reason);
}

}  // namespace velwin::cli
