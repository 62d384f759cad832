// velwin-cli card write: puts an image onto the flash card.

#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "card/card_backup.h"
#include "card/card_listing.h"
#include "card/card_write_job.h"
#include "card/image_file.h"
#include "card/job_progress_text.h"
#include "card/write_confirmation.h"
#include "card/write_precheck.h"
#include "chips/link_timing.h"
#include "cli/attended_job.h"
#include "cli/backup_owner.h"
#include "cli/card_json.h"
#include "cli/card_session.h"
#include "cli/card_verbs.h"
#include "cli/file_failure.h"
#include "cli/help_text.h"
#include "cli/job_record.h"
#include "cli/json_text.h"
#include "cli/progress_stream.h"
#include "encoding/shell_quote.h"
#include "encoding/windows1252.h"
#include "fileio/file_error.h"
#include "port/realtime_priority.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

namespace velwin::cli {
namespace {

constexpr std::string_view kWriteFlags[] = {"--unlock", "--no-backup", "--progress-stream"};

// The whole image, or the reason why it cannot be written, in the words
// of the other file failures.
std::optional<std::string> ReadImage(const std::string& path, std::vector<std::uint8_t>& image) {
  try {
    return card::ReadImageFile(path, image);
  } catch (const fileio::FileError& error) {
    return FileFailureReason(path, error.code());
  }
}

void PrintJson(const card::CardWriteResult& result, std::ostream& out) {
  out << '{' << JsonCardMembers(result.cardMbit, result.cardName) << ",\"bytes\":" << result.bytes
      << ",\"erasedSectors\":" << result.erasedUnits
      << ",\"programmedBytes\":" << result.programmedBytes
      << ",\"backup\":" << (result.backupPath.empty() ? "null" : JsonString(result.backupPath));
  out << ",\"link\":";
  if (result.link) {
    out << "{\"usPerByte\":" << xchanger::MicrosecondsText(result.link->usPerByte)
        << ",\"usPerByteWorst\":" << xchanger::MicrosecondsText(result.link->usPerByteWorst) << '}';
  } else {
    out << "null";
  }
  out << ",\"verified\":" << (result.verified ? "true" : "false");
  if (!result.outcome.Ok()) {
    const std::string error =
        result.outcome.status == card::JobStatus::kCancelled ? "Cancelled" : result.outcome.message;
    out << ",\"error\":" << JsonString(error);
  }
  out << "}\n";
}

// How to put the backup back after a write that stopped with part of the
// card changed: the command to run, on the port just written through, the
// path quoted so that a shell takes it back byte for byte (and after "--",
// so that no path is read as an option). It is printable text already, so
// the escaping of names in messages leaves it as it is.
std::string RestoreHint(const card::CardWriteResult& result, const std::string& port) {
  if (result.backupPath.empty() || result.writtenBegin == result.writtenEnd)
    return {};
  return " To put it back: velwin-cli card write --port " + encoding::ShellQuoted(port) + " -- " +
         encoding::ShellQuoted(result.backupPath);
}

}  // namespace

int RunCardWrite(const Arguments& words, std::ostream& out, std::ostream& err) {
  CardOptions options;
  Arguments args = words;
  std::optional<std::string> backupDir;
  if (const auto problem = TakeBackupDir(args, backupDir))
    return ReportCardUsage(err, "write", *problem, options);
  if (const auto problem = ParseCardOptions(args, kWriteFlags, true, options)) {
    return ReportCardUsage(err, "write", *problem, options);
  }
  // The stream ends with the result as --json gives it.
  const bool streamed = options.Has("--progress-stream");
  options.json = options.json || streamed;
  if (!options.file) {
    err << "velwin-cli card write: write needs an IMAGE\n" << CommandHelp("card");
    return 2;
  }
  const std::string& imagePath = *options.file;
  std::vector<std::uint8_t> image;
  if (const auto problem = ReadImage(imagePath, image)) {
    ReportCardFailure(err, imagePath, *problem);
    if (options.json) {
      card::CardWriteResult refused;
      refused.outcome = card::JobOutcome::Failed(*problem);
      PrintJson(refused, out);
    }
    return 1;
  }
  const auto port = OpenCommandPort(options.port, options.trace, err, options.json ? &out : nullptr,
                                    JsonCardMembers(nullptr) + ",");
  if (!port)
    return 1;

  card::CardWriteOptions writeOptions;
  writeOptions.unlock = options.Has("--unlock");
  writeOptions.backup = !options.Has("--no-backup");
  // Run as root for a user (pkexec, sudo), the backup is the user's.
  const std::optional<InvokingUser> owner =
      FindInvokingUser([](const char* name) { return std::getenv(name); });
  writeOptions.backupFolder = BackupFolderFor(backupDir, owner);
  if (owner) {
    writeOptions.asBackupOwner = [&owner](const std::function<void()>& write) {
      RunAsUser(*owner, write);
    };
  }
  writeOptions.now = std::time(nullptr);
  writeOptions.port = port->Path();
  // Real-time scheduling only where a real port's page loads need it: the
  // simulator keeps its own time, which no pause can cut.
  xchanger::RealtimePriority realtime;
  if (!port->KeepsOwnTime())
    writeOptions.priority = &realtime;
  // The backup's path is said before the first erase; with --json it goes
  // to stderr so that stdout stays one JSON object.
  std::ostream& logStream = options.json ? err : out;

  card::JobControl control;
  card::CardWriteResult result;
  std::chrono::duration<double> took{};
  // The signals stay attended to the end, the card's file written back and
  // the result said included: a signal during those last steps is noted,
  // and what the write did is still reported as it is.
  AttendedJob attended(control, err, StderrIsTerminal() && !options.json);
  std::optional<ProgressStream> stream;
  if (streamed) {
    stream.emplace(out, STDIN_FILENO, control);
    control.SetProgressSink(
        [&stream](const card::JobProgress& progress) { stream->Show(progress); });
  }
  {
    // The progress line goes first, or the text would run on from it.
    const auto log = [&logStream, &attended, &stream](const std::string& line) {
      attended.ClearProgressLine();
      if (stream)
        stream->Log(ShownName(line));
      else
        logStream << ShownName(line) << std::endl;
    };
    xchanger::SteadyTickCounter ticks;
    xchanger::NoEventPump pump;
    xchanger::XChangerLink link(*port, ticks, pump);
    xchanger::CartAccess cart(link);
    // What identification and the lock bits already tell is refused before
    // anything is read; then what the write destroys and how long it should
    // take, from a fresh listing and the link as timed now.
    const card::WriteCheck check = card::CheckWrite(cart, port->Clock(), image);
    if (check.card)
      NoteCard(card::CardDescription(*check.card));
    if (auto refused = card::RefusedWrite(check, image.size(), writeOptions.unlock)) {
      result = std::move(*refused);
    } else {
      const card::WritePreview preview =
          card::PreviewWrite(cart, port->Clock(), check, image, writeOptions.backup,
                             card::IsCardBackup(imagePath, writeOptions.backupFolder), pump);
      if (const std::string loss = card::WriteLossLine(preview.subject); !loss.empty())
        log(encoding::Windows1252ToUtf8(loss));
      log(preview.timeText);
      const auto started = std::chrono::steady_clock::now();
      result = card::WriteCard(cart, port->Clock(), image, writeOptions, control, log);
      took = std::chrono::steady_clock::now() - started;
    }
    attended.ClearProgressLine();
  }
  // A simulated card writes its contents back to its file now; the card is
  // verified only once that file holds the image too.
  std::string flushError;
  const bool flushed = port->Flush(flushError);
  // A write that ended well fails by its flush, and says it once as its
  // reason; after another failure the flush's is a line of its own.
  const bool flushFailedWrite = !flushed && result.outcome.Ok();
  if (flushFailedWrite) {
    result.verified = false;
    result.outcome = card::JobOutcome::Failed(flushError);
  }

  // The image was written as it was read at the start; a file that changed
  // meanwhile is reported, since the card no longer matches it.
  std::vector<std::uint8_t> after;
  const bool imageChanged =
      result.outcome.Ok() && (ReadImage(imagePath, after).has_value() || after != image);
  if (imageChanged) {
    // The card no longer holds what the file holds: nothing is verified.
    result.verified = false;
    result.outcome = card::JobOutcome::Failed(
        "changed while it was being written; the card holds the image as it was at the start");
  }

  if (options.json)
    PrintJson(result, out);
  if (result.outcome.Ok()) {
    if (!options.json)
      out << "Card verified: " << result.bytes << " bytes. Written in "
          << card::ElapsedText(took.count()) << ".\n";
  } else if (result.outcome.status == card::JobStatus::kCancelled) {
    err << "velwin-cli: card write cancelled. "
        << card::StoppedWriteText(result, ShownName(result.backupPath))
        << ShownName(RestoreHint(result, options.port)) << '\n';
  } else {
    std::string reason = result.outcome.message;
    if (reason.empty())
      reason = "The write failed without saying why.";
    // Every sentence ends once: a question keeps its mark.
    if (reason.back() != '.' && reason.back() != '?' && reason.back() != '!')
      reason += '.';
    ReportCardFailure(err, imagePath,
                      reason + " " + card::StoppedWriteText(result, result.backupPath) +
                          RestoreHint(result, options.port));
  }
  if (!flushed && !flushFailedWrite)
    err << "velwin-cli: " << ShownName(flushError) << '\n';
  const int cancelledStatus = attended.CancelledStatus();
  if (result.outcome.status == card::JobStatus::kCancelled)
    return cancelledStatus;
  if (result.outcome.Ok() && cancelledStatus != 1)
    err << "velwin-cli: the signal came after the last step; the write is complete.\n";
  return result.outcome.Ok() ? 0 : 1;
}

}  // namespace velwin::cli
