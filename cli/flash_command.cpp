#include "cli/flash_command.h"

#include <ostream>
#include <string>
#include <vector>

#include "cli/file_arguments.h"
#include "cli/file_failure.h"
#include "encoding/windows1252.h"
#include "fileio/file_error.h"
#include "flashjob/flash_job.h"
#include "flashjob/process_tool_launcher.h"
#include "rom/rom_analysis.h"
#include "rom/rom_info_labels.h"
#include "rom/status_line.h"

namespace velwin::cli {
namespace {

constexpr const char* kFlashUsage = "usage: velwin-cli flash ROM...\n";

// Status panel 0 as lines on a terminal: a message is printed once it is
// complete, that is when the next one replaces it rather than extends it
// (the analysis appends " OK" or " ERROR" to its "Accessing" text).
class PrintingStatusLine : public rom::StatusLine {
 public:
  explicit PrintingStatusLine(std::ostream& out) : out_(out) {}

  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override {
    if (text.compare(0, text_.size(), text_) != 0)
      Flush();
    text_ = text;
    printed_ = false;
  }
  void RepaintNow() override {}

  void Flush() {
    if (!printed_ && !text_.empty())
      out_ << ShownName(encoding::Windows1252ToUtf8(text_)) << '\n';
    printed_ = true;
  }

 private:
  std::ostream& out_;
  std::string text_;
  bool printed_ = true;
};

}  // namespace

// velwin-cli flash ROM...: the flash job on these ROMs in the current
// directory, in the order given.
int RunFlashCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
  FileArguments roms;
  if (!ParseFileArguments(args, /*offersJson=*/false, roms)) {
    return ReportUsageError(err, roms, kFlashUsage);
  }
  rom::RomInfoLabels labels;
  PrintingStatusLine status(out);
  rom::RomAnalyser analyser(labels, status);
  flash::ProcessToolLauncher launcher;
  try {
    flash::RunFlashJob(roms.files, analyser, launcher);
  } catch (const fileio::FileError& e) {
    status.Flush();
    out.flush();
    ReportFileError(err, e);
    return 1;
  } catch (const flash::FlashJobError& e) {
    // A ROM that failed its analysis or changed before its copy, or a tool
    // that did not start: nothing reached the card.
    status.Flush();
    out.flush();
    ReportFileFailure(err, e.name(), e.reason());
    return 1;
  }
  status.Flush();
  out.flush();
  return 0;
}

}  // namespace velwin::cli
