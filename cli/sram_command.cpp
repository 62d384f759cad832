#include "cli/sram_command.h"

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/command_port.h"
#include "cli/file_failure.h"
#include "cli/job_record.h"
#include "cli/json_text.h"
#include "cli/port_arguments.h"
#include "encoding/windows1252.h"
#include "fileio/file_error.h"
#include "port/default_port.h"
#include "port/port_backend.h"
#include "sram/memory_sram_view.h"
#include "sram/parallel_port_presence.h"
#include "sram/save_all.h"
#include "sram/sram_manager.h"
#include "sram/sram_port.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

namespace velwin::cli {
namespace {

constexpr const char* kSramUsage =
    "usage: velwin-cli sram analyse [--port PORT] [--json]\n"
    "       velwin-cli sram save [--port PORT] --row N FILE\n"
    "       velwin-cli sram load [--port PORT] --row N FILE\n"
    "       velwin-cli sram save-all [--port PORT] [--json] FOLDER\n"
    "\n"
    "PORT is \"direct\", \"ppdev[:/dev/parportN]\", \"sim:rom=FILE,sram=FILE,...\" or \"demo\"\n"
    "for the built-in demo card; without --port, VELWIN_PORT or the machine's default.\n"
    "--trace FILE writes a trace of every port access to FILE, for a bug report.\n"
    "save and load analyse the cart first, then move the SRAM of grid row N.\n"
    "save-all writes the SRAM of every listed game to FOLDER as \"NN Title.sav\".\n"
    "load keeps the game's old save first in $XDG_DATA_HOME/velwin/sram-backups\n"
    "(~/.local/share/velwin/sram-backups) and stops when it cannot.\n"
    "Exit status: 0 done, 1 failed (no X-Changer or cart, a transfer or file error),\n"
    "2 bad arguments.\n";

struct SramOptions {
  std::string verb;
  std::optional<std::string> port;  // as given; an empty one is refused
  std::string trace;                // --trace FILE, empty without
  bool json = false;
  std::optional<int> row;
  std::optional<std::string> file;
  std::string unknownOption;
};

std::optional<int> ParseRow(const std::string& text) {
  int value = 0;
  const auto end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < 0)
    return std::nullopt;
  return value;
}

// Returns an error message, or nothing when the arguments make sense.
std::optional<std::string> ParseOptions(const Arguments& args, SramOptions& options) {
  if (args.empty())
    return "missing command";
  options.verb = args[0];
  if (options.verb != "analyse" && options.verb != "save" && options.verb != "load" &&
      options.verb != "save-all") {
    return "unknown sram command '" + options.verb + "'";
  }
  const bool takesRow = options.verb == "save" || options.verb == "load";
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--port" || (arg == "--row" && takesRow)) {
      if (i + 1 >= args.size())
        return arg + " needs a value";
      const std::string& value = args[++i];
      if (arg == "--port") {
        options.port = value;
      } else if (!(options.row = ParseRow(value))) {
        return "--row needs a row number, not '" + value + "'";
      }
    } else if (std::optional<std::string> problem;
               TakeTraceOption(args, i, options.trace, problem)) {
      if (problem)
        return problem;
    } else if (arg == "--json" && !takesRow) {
      options.json = true;
    } else if (!arg.empty() && arg[0] != '-' && options.verb != "analyse" && !options.file) {
      options.file = arg;
    } else if (arg.size() > 1 && arg[0] == '-') {
      options.unknownOption = arg;
      return "Unknown option";
    } else {
      return "unexpected argument '" + arg + "'";
    }
  }
  if (takesRow && (!options.row || !options.file)) {
    return options.verb + " needs --row N and a FILE";
  }
  if (options.verb == "save-all" && !options.file)
    return "save-all needs a FOLDER";
  if (!options.port)
    options.port = xchanger::DefaultPortDescription();
  return std::nullopt;
}

// The link and the SRAM manager on one port, with the log and grid kept in
// memory.
struct SramSession {
  explicit SramSession(xchanger::PortBackend& port)
      : link(port, ticks, pump), cart(link), manager(cart, pump, view) {}

  xchanger::SteadyTickCounter ticks;
  xchanger::NoEventPump pump;
  xchanger::XChangerLink link;
  xchanger::CartAccess cart;
  sramman::MemorySramView view;
  sramman::SramManager manager;
};

void PrintLog(const sramman::MemorySramView& view, std::ostream& out) {
  for (const std::string& line : view.Log()) {
    out << "\u2022 " << encoding::Windows1252ToUtf8(line) << '\n';
  }
}

void PrintGrid(const SramSession& session, std::ostream& out) {
  if (!session.manager.SramGamesListed())
    return;
  for (int r = 0; r < session.view.RowCount(); ++r) {
    out << r << '\t' << encoding::Windows1252ToUtf8(session.view.Cell(0, r)) << '\t'
        << encoding::Windows1252ToUtf8(session.view.Cell(1, r)) << '\n';
  }
}

// The last log line, which says why a command stopped, in the log's code
// page.
std::string LastLogLine1252(const sramman::MemorySramView& view) {
  return view.Log().empty() ? std::string("failed") : view.Log().back();
}

// The same as the reason of a failure on stderr.
std::string LastLogLine(const sramman::MemorySramView& view) {
  return encoding::Windows1252ToUtf8(LastLogLine1252(view));
}

void PrintJson(const SramSession& session, std::ostream& out) {
  const auto& view = session.view;
  out << "{\"log\":[";
  for (std::size_t i = 0; i < view.Log().size(); ++i) {
    out << (i ? "," : "") << JsonString1252(view.Log()[i]);
  }
  out << "],\"rows\":[";
  for (int r = 0; r < view.RowCount(); ++r) {
    out << (r ? "," : "") << '[' << JsonString1252(view.Cell(0, r)) << ','
        << JsonString1252(view.Cell(1, r)) << ']';
  }
  out << "],\"entries\":[";
  for (int r = 0; r < view.RowCount(); ++r) {
    const auto& entry = session.manager.GameTable()[static_cast<std::size_t>(r)];
    out << (r ? "," : "") << '[' << int{entry.Kind} << ',' << int{entry.FirstBank} << ']';
  }
  out << "],\"listed\":" << (session.manager.SramGamesListed() ? "true" : "false");
  if (!session.manager.CartFound())
    out << ",\"error\":" << JsonString1252(LastLogLine1252(session.view));
  out << "}\n";
}

const char* OutcomeName(sramman::GameSave::Outcome outcome) {
  switch (outcome) {
    case sramman::GameSave::Outcome::kSaved:
      return "saved";
    case sramman::GameSave::Outcome::kRefused:
      return "refused";
    case sramman::GameSave::Outcome::kFailed:
      return "failed";
  }
  return "failed";
}

// One line per listed game: "NN Title.sav: saved", or refused or failed
// with the reason (on stderr too, named by its file). Exits 0 only when
// every game was saved.
int SaveAll(const SramOptions& options, SramSession& session, std::ostream& out,
            std::ostream& err) {
  const auto logBefore = session.view.Log();
  const auto saves = sramman::SaveEveryGame(session.manager, session.view, *options.file);
  bool allSaved = session.manager.CartFound();
  for (const auto& save : saves)
    allSaved = allSaved && save.outcome == sramman::GameSave::Outcome::kSaved;
  if (options.json) {
    out << "{\"log\":[";
    for (std::size_t i = 0; i < logBefore.size(); ++i)
      out << (i ? "," : "") << JsonString1252(logBefore[i]);
    out << "],\"games\":[";
    for (std::size_t i = 0; i < saves.size(); ++i) {
      out << (i ? "," : "") << "{\"row\":" << saves[i].row
          << ",\"file\":" << JsonString(saves[i].fileName) << ",\"result\":\""
          << OutcomeName(saves[i].outcome) << "\",\"reason\":" << JsonString1252(saves[i].reason)
          << '}';
    }
    out << ']';
    if (!session.manager.CartFound())
      out << ",\"error\":" << JsonString1252(LastLogLine1252(session.view));
    out << "}\n";
  } else {
    for (const std::string& line : logBefore)
      out << "\u2022 " << encoding::Windows1252ToUtf8(line) << '\n';
    for (const auto& save : saves) {
      out << save.fileName << ": " << OutcomeName(save.outcome);
      if (save.outcome != sramman::GameSave::Outcome::kSaved)
        out << ": " << encoding::Windows1252ToUtf8(save.reason);
      out << '\n';
    }
  }
  out.flush();
  if (!session.manager.CartFound())
    ReportFileFailure(err, *options.port, LastLogLine(session.view));
  for (const auto& save : saves) {
    if (save.outcome == sramman::GameSave::Outcome::kSaved)
      continue;
    const std::string path = (std::filesystem::path(*options.file) / save.fileName).string();
    ReportFileFailure(err, path,
                      save.fileError != 0 ? FileFailureReason(path, save.fileError)
                                          : encoding::Windows1252ToUtf8(save.reason));
  }
  return allSaved ? 0 : 1;
}

int Transfer(const SramOptions& options, SramSession& session, std::ostream& out,
             std::ostream& err) {
  if (!session.manager.CartFound()) {
    PrintLog(session.view, out);
    ReportFileFailure(err, *options.port, LastLogLine(session.view));
    return 1;
  }
  if (*options.row >= session.view.RowCount()) {
    PrintLog(session.view, out);
    ReportFileFailure(err, *options.port,
                      "row " + std::to_string(*options.row) + " is not in the grid (rows 0 to " +
                          std::to_string(session.view.RowCount() - 1) + ")");
    return 1;
  }
  session.view.SelectRow(*options.row);
  const auto choose = [&options] { return options.file; };
  sramman::SramManager::TransferResult result;
  try {
    result = options.verb == "save" ? session.manager.SaveMarked(choose)
                                    : session.manager.LoadMarked(choose);
  } catch (const fileio::FileError& error) {
    PrintLog(session.view, out);
    ReportFileFailure(err, *options.file, FileFailureReason(*options.file, error.code()));
    return 1;
  }
  PrintLog(session.view, out);
  if (result.succeeded)
    return 0;
  out.flush();
  ReportFileFailure(err, *options.file,
                    result.fileError != 0 ? FileFailureReason(*options.file, result.fileError)
                                          : LastLogLine(session.view));
  return 1;
}

}  // namespace

// velwin-cli sram: the SRAM manager's analysis and transfers without the
// window, printing the status log as the window shows it.
int RunSramCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    out << kSramUsage;
    return 0;
  }
  SramOptions options;
  if (const auto problem = ParseOptions(args, options)) {
    if (!options.unknownOption.empty())
      ReportFileFailure(err, options.unknownOption, *problem);
    else
      err << "velwin-cli sram: " << *problem << '\n';
    err << kSramUsage;
    return 2;
  }

  const auto port =
      OpenCommandPort(*options.port, options.trace, err, options.json ? &out : nullptr);
  if (!port)
    return 1;
  // A folder that cannot take the saves is refused before the cart is read.
  if (options.verb == "save-all") {
    if (const int error = sramman::PrepareSaveFolder(*options.file); error != 0) {
      const std::string reason = error == ENOTDIR ? "Not a directory" : fileio::RuntimeText(error);
      ReportFileFailure(err, *options.file, reason);
      if (options.json) {
        out << "{\"log\":[],\"games\":[],\"folder\":" << JsonString(*options.file)
            << ",\"error\":" << JsonString(reason) << "}\n";
      }
      return 1;
    }
  }

  int status = 0;
  {
    SramSession session(*port);
    // A simulated cart writes a loaded SRAM to its file before the load
    // reports success, so a failing write-back is never followed by one.
    session.manager.SetKeepCartSram([&port](std::string& error) { return port->Flush(error); });
    session.manager.AnalyseCart();
    if (const int mbit = session.cart.CardSizeMbit(); mbit != 0)
      NoteCard(std::to_string(mbit) + " Mbit flash card");
    if (options.verb == "analyse") {
      if (options.json) {
        PrintJson(session, out);
      } else {
        PrintLog(session.view, out);
        PrintGrid(session, out);
      }
      status = session.manager.CartFound() ? 0 : 1;
      if (status != 0) {
        out.flush();
        ReportFileFailure(err, *options.port, LastLogLine(session.view));
      }
    } else if (options.verb == "save-all") {
      status = SaveAll(options, session, out, err);
    } else {
      status = Transfer(options, session, out, err);
    }
  }
  // A simulated cart writes its SRAM back to its file now.
  std::string flushError;
  if (!port->Flush(flushError)) {
    err << "velwin-cli: " << flushError << '\n';
    return 1;
  }
  return status;
}

}  // namespace velwin::cli
