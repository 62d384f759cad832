#include <ostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/file_arguments.h"
#include "cli/json_text.h"
#include "encoding/windows1252.h"
#include "mainwindow/rom/rom_analysis.h"
#include "mainwindow/rom/rom_info_labels.h"
#include "mainwindow/rom/status_line.h"

namespace velwin::cli {
namespace {

constexpr const char* kInfoUsage = "usage: velwin-cli info [--json] FILE...\n";

void PrintPlain(std::ostream& out, const rom::RomInfoLabels& labels, bool ok) {
  const auto line = [&out](const char* caption, const std::string& text) {
    out << caption << encoding::Windows1252ToUtf8(text) << '\n';
  };
  line("File Name:      ", labels.fname);
  line("File Size:      ", labels.fsize);
  line("Stripped size:  ", labels.fssize);
  line("GB ROM:         ", labels.fileisgbrom);
  line("ROM Name:       ", labels.romname);
  line("Color:          ", labels.romcolor);
  line("Size:           ", labels.romsize);
  line("CRC:            ", labels.ROMCRC);
  out << "Status:         " << (ok ? "OK" : "ERROR") << '\n';
}

void PrintJson(std::ostream& out, const std::string& path, const rom::RomInfoLabels& labels,
               bool ok) {
  out << "{\"path\":" << JsonString(path) << ",\"fname\":" << JsonString1252(labels.fname)
      << ",\"fsize\":" << JsonString1252(labels.fsize)
      << ",\"fssize\":" << JsonString1252(labels.fssize)
      << ",\"fileisgbrom\":" << JsonString1252(labels.fileisgbrom)
      << ",\"romname\":" << JsonString1252(labels.romname)
      << ",\"romcolor\":" << JsonString1252(labels.romcolor)
      << ",\"romsize\":" << JsonString1252(labels.romsize)
      << ",\"ROMCRC\":" << JsonString1252(labels.ROMCRC)
      << ",\"status\":" << JsonString(ok ? "OK" : "ERROR") << "}\n";
}

}  // namespace

int RunInfoCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
  FileArguments options;
  if (!ParseFileArguments(args, /*offersJson=*/true, options)) {
    err << kInfoUsage;
    return 2;
  }
  bool allOk = true;
  bool first = true;
  for (const std::string& path : options.files) {
    // Every file starts from fresh labels, so nothing of the previous file
    // shows through where an analysis stops early.
    rom::RomInfoLabels labels;
    rom::MemoryStatusLine status;
    rom::RomAnalyser analyser(labels, status);
    const bool ok = analyser.AnalyseRomFile(path, true).ok;
    allOk = allOk && ok;
    if (options.json) {
      PrintJson(out, path, labels, ok);
    } else {
      if (!first)
        out << '\n';
      PrintPlain(out, labels, ok);
    }
    first = false;
  }
  out.flush();
  return allOk ? 0 : 1;
}

}  // namespace velwin::cli
