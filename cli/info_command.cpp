#include "cli/info_command.h"

#include <sched.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/file_arguments.h"
#include "cli/file_failure.h"
#include "cli/json_text.h"
#include "cli/ordered_workers.h"
#include "encoding/windows1252.h"
#include "fileio/file_error.h"
#include "fileio/page_cache.h"
#include "rom/global_checksum.h"
#include "rom/header_info.h"
#include "rom/rom_analysis.h"
#include "rom/rom_info_labels.h"
#include "rom/status_line.h"

namespace velwin::cli {
namespace {

constexpr const char* kInfoUsage = "usage: velwin-cli info [--json] [--verify] FILE...\n";

// What info tells about one file beside the labels.
struct FileReport {
  bool ok = false;             // the analysis ran through
  std::string headerChecksum;  // "OK", "BAD" or "-"
  std::string globalChecksum;  // the same, only with --verify
  std::string error;           // why the file failed, empty when it did not
};

FileReport Examine(const std::string& path, bool verify, rom::RomInfoLabels& labels) {
  rom::MemoryStatusLine status;
  rom::RomAnalyser analyser(labels, status);
  const rom::RomAnalysis analysis = analyser.AnalyseRomFile(path, true);
  FileReport report;
  report.ok = analysis.ok;
  report.headerChecksum = rom::HeaderChecksumText(analyser.HeaderBuffer());
  if (!analysis.ok)
    report.error = AnalysisFailureReason(path, analysis.systemError, analysis.fileSize.value_or(0));
  if (verify) {
    report.globalChecksum = std::string("-");  // moved in whole: GCC 12 warns falsely
    // Only a file that is a ROM has a checksum to compare with.
    if (analysis.ok && analysis.isGameBoyRom) {
      try {
        report.globalChecksum = rom::GlobalChecksumMatches(path) ? "OK" : "BAD";
      } catch (const fileio::FileError& error) {
        report.error = FileFailureReason(path, error.code());
      }
    }
  }
  return report;
}

void PrintPlain(std::ostream& out, const rom::RomInfoLabels& labels, const FileReport& report) {
  const auto line = [&out](const char* caption, const std::string& text) {
    out << caption << encoding::Windows1252ToUtf8(text) << '\n';
  };
  out << "File Name:      " << ShownName(encoding::Windows1252ToUtf8(labels.fname)) << '\n';
  line("File Size:      ", labels.fsize);
  line("Stripped size:  ", labels.fssize);
  line("GB ROM:         ", labels.fileisgbrom);
  line("ROM Name:       ", labels.romname);
  line("Color:          ", labels.romcolor);
  line("Size:           ", labels.romsize);
  line("CRC:            ", labels.ROMCRC);
  // Scripts read the block line by line: the checks come only when asked.
  if (!report.globalChecksum.empty()) {
    line("Header check:   ", report.headerChecksum);
    line("Global check:   ", report.globalChecksum);
  }
  out << "Status:         " << (report.ok ? "OK" : "ERROR") << '\n';
}

void PrintJson(std::ostream& out, const std::string& path, const rom::RomInfoLabels& labels,
               const FileReport& report) {
  out << "{\"path\":" << JsonString(path) << ",\"fname\":" << JsonString1252(labels.fname)
      << ",\"fsize\":" << JsonString1252(labels.fsize)
      << ",\"fssize\":" << JsonString1252(labels.fssize)
      << ",\"fileisgbrom\":" << JsonString1252(labels.fileisgbrom)
      << ",\"romname\":" << JsonString1252(labels.romname)
      << ",\"romcolor\":" << JsonString1252(labels.romcolor)
      << ",\"romsize\":" << JsonString1252(labels.romsize)
      << ",\"ROMCRC\":" << JsonString1252(labels.ROMCRC)
      << ",\"headerchecksum\":" << JsonString(report.headerChecksum);
  if (!report.globalChecksum.empty())
    out << ",\"globalchecksum\":" << JsonString(report.globalChecksum);
  out << ",\"status\":" << JsonString(report.ok ? "OK" : "ERROR");
  if (!report.error.empty())
    out << ",\"error\":" << JsonString(report.error);
  out << "}\n";
}

unsigned InfoReaders(const std::vector<std::string>& files) {
  // Two files read at once from a spinning disk would cost a seek at every
  // turn between them: files not all in memory are read one after the other.
  if (files.size() < 2 || !std::all_of(files.begin(), files.end(), fileio::LooksWhollyCached))
    return 1;
  cpu_set_t usable;
  CPU_ZERO(&usable);
  if (::sched_getaffinity(0, sizeof usable, &usable) != 0)
    return 1;
  // One reader a processor this process may run on, up to four: by then the
  // memory, not the processors, sets the pace.
  return static_cast<unsigned>(std::clamp(CPU_COUNT(&usable), 1, 4));
}

}  // namespace

int RunInfoCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
  return RunInfoCommand(args, out, err, std::nullopt);
}

int RunInfoCommand(const Arguments& args, std::ostream& out, std::ostream& err,
                   std::optional<unsigned> readers) {
  FileArguments options;
  if (!ParseFileArguments(args, /*offersJson=*/true, options, /*offersVerify=*/true)) {
    return ReportUsageError(err, options, kInfoUsage);
  }
  struct Examined {
    // Every file starts from fresh labels, so nothing of the previous file
    // shows through where an analysis stops early.
    rom::RomInfoLabels labels;
    FileReport report;
  };
  bool allOk = true;
  // Each file is analysed on its own; they may be read at once, and are
  // reported in the order given.
  RunInOrder<Examined>(
      options.files.size(), readers ? *readers : InfoReaders(options.files),
      [&options](std::size_t i) {
        Examined examined;
        examined.report = Examine(options.files[i], options.verify, examined.labels);
        return examined;
      },
      [&](std::size_t i, Examined& examined) {
        const std::string& path = options.files[i];
        if (!examined.report.error.empty()) {
          ReportFileFailure(err, path, examined.report.error);
          allOk = false;
        }
        if (options.json) {
          PrintJson(out, path, examined.labels, examined.report);
        } else {
          if (i > 0)
            out << '\n';
          PrintPlain(out, examined.labels, examined.report);
        }
      });
  out.flush();
  return allOk ? 0 : 1;
}

}  // namespace velwin::cli
