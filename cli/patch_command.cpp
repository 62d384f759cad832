#include "cli/patch_command.h"

#include <cerrno>
#include <ostream>
#include <string>

#include "cli/file_failure.h"
#include "fileio/byte_file.h"
#include "fileio/file_error.h"
#include "ips/ips_patch.h"

namespace velwin::cli {
namespace {

// The system error of opening path as the patcher opens it, 0 when it opens.
int OpenFailure(const std::string& path, fileio::ByteFile::Access access) {
  try {
    fileio::ByteFile::Open(path, access).Close();
  } catch (const fileio::FileError& error) {
    return error.code();
  }
  return 0;
}

// The patcher reports a failure without saying which of its two files it
// concerns. Opening each again as the patcher does finds a file that cannot
// be opened; past the opens only the ROM is written, so a lack of room is
// the ROM's, and any other failure may be either file.
void ReportPatchFailure(std::ostream& err, const std::string& ipsPath, const std::string& romPath,
                        const fileio::FileError& failure) {
  if (const int code = OpenFailure(ipsPath, fileio::ByteFile::Access::kRead); code != 0) {
    ReportFileFailure(err, ipsPath, FileFailureReason(ipsPath, code));
    return;
  }
  if (const int code = OpenFailure(romPath, fileio::ByteFile::Access::kReadWrite); code != 0) {
    ReportFileFailure(err, romPath, FileFailureReason(romPath, code));
    return;
  }
  const int code = failure.code();
  if (code == ENOSPC || code == EDQUOT || code == EFBIG) {
    ReportFileFailure(err, romPath, FileFailureReason(romPath, code));
    return;
  }
  ReportFileFailure(err, ipsPath + " or " + romPath, FileFailureReason(romPath, code));
}

}  // namespace

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
    return result == ips::kInvalidIpsResult ? 1 : 0;
  } catch (const fileio::FileError& e) {
    ReportPatchFailure(err, args[0], args[1], e);
    return 1;
  }
}

}  // namespace velwin::cli
