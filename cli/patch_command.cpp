#include "cli/patch_command.h"

#include <ostream>
#include <string>

#include "cli/file_failure.h"
#include "fileio/file_error.h"
#include "ips/ips_patch.h"

namespace velwin::cli {
// velwin-cli patch IPS ROM: applies the patch in place and prints the same
// one-line result the main window shows. A patch file without the signature
// is a failure too: the ROM was left as it was.
int RunPatchCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) {
    err << "usage: velwin-cli patch IPS ROM\n";
    return 2;
  }
  try {
    const std::string result = ips::ApplyIpsPatch(args[0], args[1]);
    out << result << '\n';
    if (result != ips::kInvalidIpsResult)
      return 0;
    out.flush();
    ReportFileFailure(err, args[0], "Invalid IPS file");
    return 1;
  } catch (const fileio::FileError& e) {
    ReportFileError(err, e);  // names the IPS file or the ROM, whichever failed
    return 1;
  }
}

}  // namespace velwin::cli
