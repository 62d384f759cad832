#include "cli/card_command.h"

#include <ostream>
#include <string_view>

#include "cli/cancel_on_signals.h"
#include "cli/card_verbs.h"
#include "cli/help_text.h"

namespace velwin::cli {
namespace {

struct CardVerb {
  std::string_view name;
  int (*run)(const Arguments& args, std::ostream& out, std::ostream& err);
  bool attendsSignals;  // stops on SIGINT and SIGTERM and says what it did
};

// One row per card command.
constexpr CardVerb kCardVerbs[] = {
    {"read", RunCardRead, true},   {"verify", RunCardVerify, true},    {"list", RunCardList, false},
    {"write", RunCardWrite, true}, {"backups", RunCardBackups, false},
};

}  // namespace

int RunCardCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "velwin-cli card: missing command\n" << CommandHelp("card");
    return 2;
  }
  const Arguments rest(args.begin() + 1, args.end());
  for (const CardVerb& verb : kCardVerbs) {
    if (args[0] != verb.name)
      continue;
    if (!verb.attendsSignals)
      ReleaseSignals();
    return verb.run(rest, out, err);
  }
  err << "velwin-cli card: unknown card command '" << args[0] << "'\n" << CommandHelp("card");
  return 2;
}

}  // namespace velwin::cli
