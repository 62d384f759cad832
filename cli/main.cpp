#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "cli/backup_owner.h"
#include "cli/cancel_on_signals.h"
#include "cli/card_command.h"
#include "cli/file_failure.h"
#include "cli/flash_command.h"
#include "cli/help_text.h"
#include "cli/info_command.h"
#include "cli/job_record.h"
#include "cli/link_command.h"
#include "cli/lookup_command.h"
#include "cli/patch_command.h"
#include "cli/sram_command.h"
#include "fileio/file_error.h"
#include "joblog/job_log_file.h"
#include "velwin_version.h"

namespace {

// Adds an entry to the job log of the user the job is for. Run as root for
// someone (pkexec, sudo) that is their own log, written with their rights,
// so that they find the job there and keep owning the file; a user without
// a home has no log, as a process without HOME has none.
std::string AppendToJobLog(const std::string& text) {
  using velwin::cli::InvokingUser;
  const std::optional<InvokingUser> user =
      velwin::cli::FindInvokingUser([](const char* name) { return std::getenv(name); });
  if (!user)
    return velwin::joblog::AppendToJobLog(velwin::joblog::JobLogPath(std::getenv), text);
  std::error_code error;
  if (user->home.empty() || !std::filesystem::is_directory(user->home, error))
    return {};
  const std::string path = velwin::joblog::JobLogPath(velwin::cli::UserEnvironment(*user));
  std::string problem;
  try {
    velwin::cli::RunAsUser(*user, [&] { problem = velwin::joblog::AppendToJobLog(path, text); });
  } catch (const velwin::fileio::FileError& failure) {
    problem = velwin::cli::FileFailureReason(path, failure.code());
  }
  return problem;
}

int RunCommandLine(int argc, char** argv) {
  using namespace velwin::cli;
  const std::string_view command = argc < 2 ? std::string_view() : argv[1];
  // Only the card jobs answer a signal themselves; every other command ends
  // on it as any program does.
  if (command != "card")
    ReleaseSignals();
  if (argc < 2) {
    std::cerr << MainHelp();
    return 2;
  }
  const Arguments args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    // "help COMMAND" is the same as "COMMAND --help".
    const std::string_view topic = args.empty() ? std::string_view() : args[0];
    const std::string_view text = topic.empty() ? MainHelp() : CommandHelp(topic);
    if (text.empty()) {
      std::cerr << "velwin-cli: unknown command '" << topic << "'\n" << MainHelp();
      return 2;
    }
    std::cout << text;
    return 0;
  }
  if (command == "--version") {
    std::cout << "velwin-cli " << velwin::kVersion << '\n';
    return 0;
  }
  // Help is answered here, before a command reads its arguments, so that
  // every command's help comes from one place.
  if (const std::string_view help = CommandHelp(command); !help.empty() && AsksForHelp(args)) {
    std::cout << help;
    return 0;
  }
  if (command == "info")
    return RunInfoCommand(args, std::cout, std::cerr);
  if (command == "lookup")
    return RunLookupCommand(args, std::cout, std::cerr);
  if (command == "patch")
    return RunPatchCommand(args, std::cout, std::cerr);
  if (command == "flash")
    return RunFlashCommand(args, std::cout, std::cerr);
  // The jobs on the X-Changer and the card backups leave their lines in
  // the job log.
  if (command == "sram")
    return RunRecorded("sram", args, std::cout, std::cerr, AppendToJobLog, RunSramCommand);
  if (command == "card")
    return RunRecorded("card", args, std::cout, std::cerr, AppendToJobLog, RunCardCommand);
  if (command == "link")
    return RunLinkCommand(args, std::cout, std::cerr);
  if (command.size() > 1 && command[0] == '-')
    ReportFileFailure(std::cerr, std::string(command), "Unknown option");
  else
    std::cerr << "velwin-cli: unknown command '" << ShownName(std::string(command)) << "'\n";
  std::cerr << MainHelp();
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything else: a signal in the first moments must find its
  // handler, or it ends a card job before the job could say what it did.
  velwin::cli::HoldSignals();
  const int status = RunCommandLine(argc, argv);
  // A signal that came after the job is let through now: what was said
  // goes out first.
  std::cout.flush();
  velwin::cli::ReleaseSignals();
  return status;
}
