#include "cli/card_command.h"

#include <ostream>
#include <string_view>

#include "cli/card_verbs.h"
#include "cli/help_text.h"

namespace velwin::cli {
namespace {

struct CardVerb {
  std::string_view name;
  int (*run)(const Arguments& args, std::ostream& out, std::ostream& err);
};

// One row per card command.
constexpr CardVerb kCardVerbs[] = {
    {"read", RunCardRead},   {"verify", RunCardVerify},   {"list", RunCardList},
    {"write", RunCardWrite}, {"backups", RunCardBackups},
};

}  // namespace

int RunCardCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "velwin-cli card: missing command\n" << CommandHelp("card");
    return 2;
  }
  const Arguments rest(args.begin() + 1, args.end());
  for (const CardVerb& verb : kCardVerbs) {
    if (args[0] == verb.name)
      return verb.run(rest, out, err);
  }
  err << "velwin-cli card: unknown card command '" << args[0] << "'\n" << CommandHelp("card");
  return 2;
}

}  // namespace velwin::cli
