#pragma once

#include <iosfwd>

#include "cli/arguments.h"

namespace velwin::cli {

// The card commands, each given the words after its verb.
int RunCardRead(const Arguments& args, std::ostream& out, std::ostream& err);
int RunCardVerify(const Arguments& args, std::ostream& out, std::ostream& err);
int RunCardList(const Arguments& args, std::ostream& out, std::ostream& err);
int RunCardWrite(const Arguments& args, std::ostream& out, std::ostream& err);
int RunCardBackups(const Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace velwin::cli
