#include "cli/lookup_command.h"

#include <cerrno>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/file_arguments.h"
#include "cli/file_failure.h"
#include "cli/json_text.h"
#include "encoding/windows1252.h"
#include "rom/database_lookup.h"
#include "rom/rom_analysis.h"
#include "rom/rom_info_labels.h"
#include "rom/status_line.h"

namespace velwin::cli {
namespace {

constexpr const char* kLookupUsage = "usage: velwin-cli lookup [--json] ROM...\n";

void PrintPlain(std::ostream& out, const std::string& path, const rom::RomInfoLabels& labels,
                const std::string& status) {
  const auto line = [&out](const char* caption, const std::string& text) {
    out << caption << encoding::Windows1252ToUtf8(text) << '\n';
  };
  out << "Path:           " << ShownName(path) << '\n';
  line("CRC:            ", labels.ROMCRC);
  line("DB Name:        ", labels.romdbase);
  line("ROM Name:       ", labels.ROMDBName);
  line("Status:         ", status);
}

void PrintJson(std::ostream& out, const std::string& path, const rom::RomInfoLabels& labels,
               const std::string& status, const std::string& error) {
  out << "{\"path\":" << JsonString(path) << ",\"ROMCRC\":" << JsonString1252(labels.ROMCRC)
      << ",\"romdbase\":" << JsonString1252(labels.romdbase)
      << ",\"ROMDBName\":" << JsonString1252(labels.ROMDBName)
      << ",\"status\":" << JsonString1252(status);
  if (!error.empty())
    out << ",\"error\":" << JsonString(error);
  out << "}\n";
}

// A database that is not there is simply not searched; one that is there
// but could not be read is a failure. reported keeps each one to one line
// however many ROMs are looked up.
bool ReportUnreadableDatabases(const std::vector<rom::DatabaseFailure>& failures,
                               std::set<std::string>& reported, std::ostream& err) {
  bool unreadable = false;
  for (const rom::DatabaseFailure& failure : failures) {
    if (failure.systemError == ENOENT)
      continue;
    unreadable = true;
    if (reported.insert(failure.fileName).second)
      ReportFileFailure(err, failure.fileName,
                        FileFailureReason(failure.fileName, failure.systemError));
  }
  return unreadable;
}

}  // namespace

int RunLookupCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
  FileArguments options;
  if (!ParseFileArguments(args, /*offersJson=*/true, options)) {
    return ReportUsageError(err, options, kLookupUsage);
  }
  bool allOk = true;
  bool first = true;
  std::set<std::string> reportedDatabases;
  for (const std::string& path : options.files) {
    // What a click on a list entry does: analyse the file, then look its
    // checksum up in the databases of the current directory.
    rom::RomInfoLabels labels;
    rom::MemoryStatusLine status;
    rom::RomAnalyser analyser(labels, status);
    const rom::RomAnalysis analysis = analyser.AnalyseRomFile(path, true);
    std::string error;
    if (!analysis.ok) {
      error = AnalysisFailureReason(path, analysis.systemError, analysis.fileSize.value_or(0));
      ReportFileFailure(err, path, error);
      allOk = false;
    }
    if (ReportUnreadableDatabases(rom::LookupDatabase(labels, status), reportedDatabases, err))
      allOk = false;
    if (options.json) {
      PrintJson(out, path, labels, status.Text(), error);
    } else {
      if (!first)
        out << '\n';
      PrintPlain(out, path, labels, status.Text());
    }
    first = false;
  }
  out.flush();
  return allOk ? 0 : 1;
}

}  // namespace velwin::cli
