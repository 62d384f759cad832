#include "cli/help_text.h"

#include <array>
#include <utility>

namespace velwin::cli {
namespace {

// The man page velwin-cli(1) says the same at more length; keep them in step.

constexpr std::string_view kMainHelp =
    "usage: velwin-cli COMMAND [ARGS]\n"
    "       velwin-cli COMMAND --help\n"
    "       velwin-cli --help | --version\n"
    "\n"
    "commands:\n"
    "  info [--json] [--verify] FILE...\n"
    "                                 analyse ROM files as the main window does\n"
    "  lookup [--json] ROM...         ... and look them up in user.ini and veltra.ini\n"
    "  patch IPS ROM                  apply an IPS patch to a ROM file in place\n"
    "  flash ROM...                   write stripped copies to paldmi.tmp/ and start veltra\n"
    "  sram analyse [--port PORT] [--json]\n"
    "  sram save [--port PORT] --row N FILE\n"
    "  sram load [--port PORT] --row N FILE\n"
    "  sram save-all [--port PORT] [--json] FOLDER\n"
    "                                 copy battery saves between the X-Changer's cart\n"
    "                                 and .sav files\n"
    "  card read [--port PORT] [--json] FILE\n"
    "  card verify [--port PORT] [--json] FILE\n"
    "  card list [--port PORT] [--json]\n"
    "                                 back up the whole card, compare it with a file,\n"
    "                                 list the games on it\n"
    "  card write [--port PORT] [--json] [--unlock] [--no-backup] [--backup-dir DIR]\n"
    "             [--progress-stream] IMAGE\n"
    "                                 write an image onto the flash card\n"
    "  card backups [--json] [--remove BACKUP... [--yes]]\n"
    "                                 list the backups card write kept, or remove some\n"
    "  link test [--port PORT] [--json]\n"
    "                                 check and time the link: run this first\n"
    "\n"
    "options:\n"
    "  -h, --help     show this help; after a command, that command's help\n"
    "  --version      print the version\n"
    "\n"
    "exit status:\n"
    "  0  success\n"
    "  1  the command failed: an I/O error, the VELTRA tool could not start, an\n"
    "     entry failed its analysis, an invalid IPS file, no X-Changer or no cart,\n"
    "     a verify failed, or a database that exists cannot be read\n"
    "  2  usage error\n"
    "  130, 143  a card job stopped by SIGINT or SIGTERM: a read wrote no file;\n"
    "            a write may have written part of the card, and its backup holds\n"
    "            the old card (velwin-cli card write BACKUP puts it back)\n"
    "\n"
    "More in the manual page velwin-cli(1).\n";

constexpr std::string_view kInfoHelp =
    "usage: velwin-cli info [--json] [--verify] FILE...\n"
    "\n"
    "Analyses each ROM file as the main window does: file size, stripped size\n"
    "(without trailing filler, in whole 32 KiB blocks) and the cartridge header.\n"
    "\n"
    "options:\n"
    "  --json       print one JSON object per file\n"
    "  --verify     also read the whole file and check the header's global checksum\n"
    "  --           end of options: the arguments after it are files\n"
    "  -h, --help   show this help\n"
    "\n"
    "exit status:\n"
    "  0  every file was analysed\n"
    "  1  a file failed its analysis (the reason is printed on stderr)\n"
    "  2  usage error\n";

constexpr std::string_view kLookupHelp =
    "usage: velwin-cli lookup [--json] ROM...\n"
    "\n"
    "Analyses each ROM file and looks its header checksum up in user.ini, then in\n"
    "veltra.ini, both in the current directory.\n"
    "\n"
    "options:\n"
    "  --json       print one JSON object per file\n"
    "  --           end of options: the arguments after it are files\n"
    "  -h, --help   show this help\n"
    "\n"
    "exit status:\n"
    "  0  every file was analysed and looked up\n"
    "  1  a file failed its analysis, or a database that exists cannot be read\n"
    "  2  usage error\n";

constexpr std::string_view kPatchHelp =
    "usage: velwin-cli patch IPS ROM\n"
    "\n"
    "Applies the IPS patch file IPS to the file ROM in place and prints the\n"
    "result line the main window shows.\n"
    "\n"
    "options:\n"
    "  -h, --help   show this help\n"
    "\n"
    "exit status:\n"
    "  0  the patch was applied\n"
    "  1  an I/O error, or IPS is not a valid IPS file\n"
    "  2  usage error\n";

constexpr std::string_view kFlashHelp =
    "usage: velwin-cli flash ROM...\n"
    "\n"
    "Writes the stripped copies 0.stp, 1.stp, ... of the ROMs, in the order given,\n"
    "into paldmi.tmp/ in the current directory and starts \"../veltra *.stp\" there\n"
    "without waiting for it. Copies left by an earlier run are removed first.\n"
    "\n"
    "options:\n"
    "  --           end of options: the arguments after it are files\n"
    "  -h, --help   show this help\n"
    "\n"
    "exit status:\n"
    "  0  the copies were written and the tool started\n"
    "  1  an entry failed its analysis, a copy could not be written, or the\n"
    "     tool could not start\n"
    "  2  usage error\n";

constexpr std::string_view kSramHelp =
    "usage: velwin-cli sram analyse [--port PORT] [--json]\n"
    "       velwin-cli sram save [--port PORT] --row N FILE\n"
    "       velwin-cli sram load [--port PORT] --row N FILE\n"
    "       velwin-cli sram save-all [--port PORT] [--json] FOLDER\n"
    "\n"
    "Talks to the X-Changer on the parallel port and prints the SRAM manager's log.\n"
    "  analyse    find the X-Changer, identify the card and list its SRAM games\n"
    "             (grid row, name, SRAM size)\n"
    "  save       analyse, then copy the SRAM of grid row N to FILE\n"
    "  load       analyse, then write FILE to the SRAM of grid row N and verify it;\n"
    "             the old save is kept first in $XDG_DATA_HOME/velwin/sram-backups\n"
    "  save-all   analyse, then save every listed game to FOLDER as \"NN Title.sav\"\n"
    "\n"
    "options:\n"
    "  --port PORT  how to reach the X-Changer (default: $VELWIN_PORT, else ppdev\n"
    "               where /dev/parport0 exists, else direct):\n"
    "                 ppdev, ppdev:/dev/parportN   the kernel's ppdev interface\n"
    "                 direct, direct:BASE[,BASE]   x86 port instructions (root)\n"
    "                 sim:KEY=VALUE,...            a simulated X-Changer\n"
    "                 demo                         the simulated demo card\n"
    "  --trace FILE write a trace of every port access to FILE, for a bug report\n"
    "  --row N      the grid row, counted from 0 as analyse lists it\n"
    "  --json       analyse, save-all: print JSON\n"
    "  -h, --help   show this help\n"
    "\n"
    "sim: keys: rom=FILE sram=FILE card=4|16|64|none lpt=1|2|none other=echo\n"
    "  modes=both|epp|spp unplug=N flaky=N noisy=N stuck=dB:V short=dA:dB access=NS\n"
    "  jitter=N:US badbyte=ADDR erasefail=SECTOR locked=SECTOR slow=1 advance82=0|1\n"
    "  loadtimer=byte|command (see velwin-cli(1))\n"
    "\n"
    "exit status:\n"
    "  0  done (save-all: every game was saved)\n"
    "  1  the port could not be opened, no X-Changer or no cart, a transfer or\n"
    "     I/O error, or a verify failed\n"
    "  2  usage error\n";

constexpr std::string_view kCardHelp =
    "usage: velwin-cli card read [--port PORT] [--json] FILE\n"
    "       velwin-cli card verify [--port PORT] [--json] FILE\n"
    "       velwin-cli card list [--port PORT] [--json]\n"
    "       velwin-cli card write [--port PORT] [--json] [--unlock] [--no-backup]\n"
    "                             [--backup-dir DIR] [--progress-stream] IMAGE\n"
    "       velwin-cli card backups [--port PORT] [--json]\n"
    "       velwin-cli card backups --remove BACKUP... [--yes]\n"
    "\n"
    "Works on the whole card in the X-Changer: one of the 4, 16 and 64 Mbit flash\n"
    "cards, or a game cart with no bank controller or an MBC5, read by its header.\n"
    "  read     read every ROM bank twice and write the card to FILE, which is\n"
    "           replaced only once the whole card read the same both times\n"
    "  verify   compare FILE with the card's first size-of-FILE bytes\n"
    "  list     the card's kind and size, then every game on it\n"
    "  write    write IMAGE onto the flash card from address 0; the rest of the card\n"
    "           stays. The old card goes first to a new backup file in\n"
    "           $XDG_DATA_HOME/velwin/card-backups (~/.local/share/velwin/...),\n"
    "           none when the write changes nothing, the newest one again when it\n"
    "           already holds the card; only what differs is erased and\n"
    "           programmed, then read back. `velwin-cli card write BACKUP` puts a\n"
    "           backup back. Checked against emulated chips only.\n"
    "  backups  every file of the backup folder, oldest first: path, card, size,\n"
    "           date, the games it holds and what is wrong with it (\"may hold a\n"
    "           partly written card\" when a game fails its global checksum; a\n"
    "           link, a truncated file, another file); --remove deletes the named\n"
    "           backups after a question on the terminal, or without one given\n"
    "           --yes; nothing is ever removed otherwise\n"
    "A job trusts what it read only when the cart still answers as the same card\n"
    "and each data line was seen at 0 and at 1; \"Data line D3 always reads 0\"\n"
    "means dirty contacts. A progress line shows on stderr when it is a terminal.\n"
    "SIGINT and SIGTERM stop a job at the next bank: a read leaves no file; a\n"
    "write finishes the page or sector in hand, says which range it wrote and\n"
    "names the backup that holds the old card. A signal ignored at start stays\n"
    "ignored. JSON names are the file's bytes, a byte that is not UTF-8 as \\udcXX.\n"
    "\n"
    "options:\n"
    "  --port PORT  how to reach the X-Changer, as for the sram command\n"
    "  --trace FILE write a trace of every port access to FILE, for a bug report\n"
    "  --json       print JSON\n"
    "  --unlock     write: clear the lock bits of a locked block (64 Mbit card)\n"
    "  --no-backup  write: keep no backup of the old card\n"
    "  --backup-dir DIR  write: keep the backup in DIR; run as root by sudo or\n"
    "               pkexec, the backup is written with the invoking user's rights\n"
    "               (default: their ~/.local/share/velwin/card-backups)\n"
    "  --progress-stream  write: progress as JSON lines on stdout, the result last;\n"
    "               a line \"cancel\" on stdin, or its end, stops the write\n"
    "  --           end of options: the argument after it is the file\n"
    "  -h, --help   show this help\n"
    "\n"
    "exit status:\n"
    "  0  done (verify: the card matches FILE)\n"
    "  1  the port could not be opened, no X-Changer or no cart, a cart that cannot\n"
    "     be read, an unstable read, an I/O error (verify: or the card differs;\n"
    "     write: not a flash card, a failed erase, program or verify)\n"
    "  2  usage error\n"
    "  130  stopped by SIGINT; 143  stopped by SIGTERM (write: part of the card\n"
    "       may be written; the backup holds the old card)\n";

constexpr std::string_view kLinkHelp =
    "usage: velwin-cli link test [--port PORT] [--json]\n"
    "\n"
    "Checks the link to the X-Changer, with or without a cart in it: the port and\n"
    "mode found, the cable's data lines (walking bits through the address\n"
    "registers), the time of a port access and of a loaded byte (median and\n"
    "worst), which flash cards can be written over this link, and whether\n"
    "real-time scheduling is available. Run it first with real hardware.\n"
    "\n"
    "options:\n"
    "  --port PORT  how to reach the X-Changer, as for the sram command\n"
    "  --trace FILE write a trace of every port access to FILE, for a bug report\n"
    "  --json       print JSON: port, mode, dataLines, usPerAccess, usPerByte,\n"
    "               usPerByteWorst, writable {\"4\",\"16\",\"64\"}, realtime\n"
    "  -h, --help   show this help\n"
    "\n"
    "exit status:\n"
    "  0  the X-Changer answers\n"
    "  1  the port could not be opened, or no X-Changer found\n"
    "  2  usage error\n";

constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kCommandHelp = {{
    {"info", kInfoHelp},
    {"lookup", kLookupHelp},
    {"patch", kPatchHelp},
    {"flash", kFlashHelp},
    {"sram", kSramHelp},
    {"card", kCardHelp},
    {"link", kLinkHelp},
}};

}  // namespace

std::string_view MainHelp() {
  return kMainHelp;
}

std::string_view CommandHelp(std::string_view command) {
  for (const auto& [name, text] : kCommandHelp) {
    if (name == command)
      return text;
  }
  return {};
}

bool AsksForHelp(const Arguments& args) {
  for (const std::string& arg : args) {
    if (arg == "--")
      return false;
    if (arg == "--help" || arg == "-h")
      return true;
  }
  return false;
}

}  // namespace velwin::cli
