#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "card/card_kind.h"
#include "card/job_progress.h"
#include "cli/arguments.h"
#include "cli/command_port.h"
#include "port/port_backend.h"
#include "port/port_io.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

namespace velwin::cli {

// The options every card command takes, and the flags of its own.
struct CardOptions {
  std::string port;
  std::string trace;  // --trace FILE, empty without
  bool json = false;
  std::vector<std::string> flags;  // those of the command's own flags that were given
  std::optional<std::string> file;
  std::string unknownOption;  // the option that made the parse fail, if one did

  bool Has(std::string_view flag) const;
};

// Parses "[--port PORT] [--trace FILE] [--json] [FLAG...] [FILE]", the words after the
// command's verb; "--" ends the options. Returns the problem, or nothing.
std::optional<std::string> ParseCardOptions(const Arguments& args,
                                            std::span<const std::string_view> ownFlags,
                                            bool takesFile, CardOptions& options);

// Says what was wrong with a card command's words, in the form every
// command uses, then the usage. Returns the exit status for it, 2.
int ReportCardUsage(std::ostream& err, std::string_view verb, const std::string& problem,
                    const CardOptions& options);

// The link on one port and a job control for the jobs run on it.
class CardSession {
 public:
  // Opens the port; on failure prints "velwin-cli: port ... could not be
  // opened: WHY" on err (and, given json, {"port": PORT, "error": WHY} on
  // it) and returns null. trace: the file for a trace of every port access.
  static std::unique_ptr<CardSession> Open(const std::string& port, std::ostream& err,
                                           std::ostream* json = nullptr,
                                           const std::string& trace = {});

  explicit CardSession(std::unique_ptr<xchanger::PortBackend> port);
  CardSession(const CardSession&) = delete;
  CardSession& operator=(const CardSession&) = delete;

  xchanger::CartAccess& Cart() { return cart_; }
  xchanger::EventPump& Pump() { return pump_; }
  card::JobControl& Control() { return control_; }

  // Finds the X-Changer and identifies the card, for the job log too.
  card::CardIdentification Identify();

  // Lets a simulated cart write its files back; false after printing why.
  bool Flush(std::ostream& err);

 private:
  std::unique_ptr<xchanger::PortBackend> port_;
  xchanger::SteadyTickCounter ticks_;
  xchanger::NoEventPump pump_;
  xchanger::XChangerLink link_;
  xchanger::CartAccess cart_;
  card::JobControl control_;
};

// "velwin-cli: NAME: REASON" on err, the name shown as UTF-8.
void ReportCardFailure(std::ostream& err, const std::string& name, const std::string& reason);

}  // namespace velwin::cli
