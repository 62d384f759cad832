#include <ostream>

#include "cli/commands.h"
#include "fileio/file_error.h"
#include "ips/ips_patch.h"

namespace velwin::cli {

// velwin-cli patch IPS ROM: applies the patch in place and prints the same
// one-line result the main window shows.
int RunPatchCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) {
    err << "usage: velwin-cli patch IPS ROM\n";
    return 2;
  }
  try {
    out << ips::ApplyIpsPatch(args[0], args[1]) << '\n';
  } catch (const fileio::FileError& e) {
    err << e.what() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace velwin::cli
