#include <iostream>
#include <string>
#include <string_view>

#include "cli/commands.h"

namespace {

constexpr std::string_view kUsage =
    "usage: velwin-cli COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  info [--json] FILE...          analyse ROM files as the main window does\n"
    "  lookup [--json] ROM...         analyse and look ROMs up in user.ini and veltra.ini\n"
    "  patch IPS ROM                  apply an IPS patch to a ROM file in place\n"
    "  flash ROM...                   write stripped copies and start the VELTRA tool\n"
    "  sram analyse|save|load ...     talk to the X-Changer (see velwin-cli sram --help)\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace velwin::cli;
  if (argc < 2) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string_view command = argv[1];
  const Arguments args(argv + 2, argv + argc);
  if (command == "info")
    return RunInfoCommand(args, std::cout, std::cerr);
  if (command == "lookup")
    return RunLookupCommand(args, std::cout, std::cerr);
  if (command == "patch")
    return RunPatchCommand(args, std::cout, std::cerr);
  if (command == "flash")
    return RunFlashCommand(args, std::cout, std::cerr);
  if (command == "sram")
    return RunSramCommand(args, std::cout, std::cerr);
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  std::cerr << "velwin-cli: unknown command '" << command << "'\n" << kUsage;
  return 2;
}
