// velwin-cli link test: what a user runs first with real hardware.

#include "cli/link_command.h"

#include <array>
#include <ostream>
#include <string>

#include "card/link_check.h"
#include "chips/flash_chip_table.h"
#include "chips/link_timing.h"
#include "cli/card_session.h"
#include "cli/file_failure.h"
#include "cli/help_text.h"
#include "cli/json_text.h"
#include "port/realtime_priority.h"
#include "xchanger/link.h"

namespace velwin::cli {
namespace {

// Writes every value of a walking one and a walking zero to both address
// registers and reads each back: a data line of the cable that is open,
// stuck or crossed shows as a bit that comes back wrong. Returns the bits
// that ever came back wrong.
std::uint8_t WalkDataLines(xchanger::XChangerLink& link) {
  std::uint8_t wrong = 0;
  for (int bit = 0; bit < 8; ++bit) {
    const auto one = static_cast<std::uint8_t>(1u << bit);
    for (const std::uint8_t value : {one, static_cast<std::uint8_t>(~one)}) {
      for (const std::uint8_t reg : {xchanger::AddrLowReg, xchanger::AddrHighReg}) {
        link.WriteRegister(reg, value);
        link.SelectRegister(reg);
        link.SetControl(0x00);
        wrong = static_cast<std::uint8_t>(wrong | (link.ReadData() ^ value));
      }
    }
  }
  return wrong;
}

// How the port was reached, which the card lines above were measured on.
void PrintPath(const card::LinkFindings& findings, std::ostream& out) {
  out << "Path: " << findings.path << "; " << findings.portKind << " port, link in "
      << findings.mode << " mode";
  if (!findings.sppWhy.empty())
    out << " (" << findings.sppWhy << ")";
  out << ". Every card is written over this path.\n";
  if (!findings.assumed.empty())
    out << "Assumed: " << findings.assumed << ".\n";
}

// The findings for --json: the deciding percentile, the path and, per
// card, the cause of a slow link and its remedy.
void PrintFindingsJson(const card::LinkFindings& findings, const xchanger::LinkTiming& timing,
                       std::ostream& out) {
  out << ",\"usPerByteHigh\":" << xchanger::MicrosecondsText(timing.usPerByteHigh)
      << ",\"decidingPercentile\":99.9,\"path\":" << JsonString(findings.path)
      << ",\"portKind\":" << JsonString(findings.portKind)
      << ",\"sppWhy\":" << JsonString(findings.sppWhy)
      << ",\"assumed\":" << JsonString(findings.assumed) << ",\"cards\":[";
  for (std::size_t i = 0; i < findings.cards.size(); ++i) {
    const card::CardLinkFinding& card = findings.cards[i];
    out << (i == 0 ? "" : ",") << "{\"mbit\":" << int{card.cardMbit}
        << ",\"writable\":" << (card.writable ? "true" : "false")
        << ",\"cause\":" << JsonString(card.causeText) << ",\"remedy\":" << JsonString(card.remedy)
        << "}";
  }
  out << "]";
}

std::string DataLinesText(std::uint8_t wrong) {
  if (wrong == 0)
    return "all 8 data lines read back right";
  std::string lines;
  for (int bit = 0; bit < 8; ++bit) {
    if ((wrong & (1u << bit)) != 0)
      lines += (lines.empty() ? "D" : ", D") + std::to_string(bit);
  }
  return "wrong on " + lines + ": check the cable and the port's mode in the BIOS";
}

}  // namespace

int RunLinkCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] != "test") {
    err << "velwin-cli link: the only verb is test\n" << CommandHelp("link");
    return 2;
  }
  CardOptions options;
  const Arguments rest(args.begin() + 1, args.end());
  if (const auto problem = ParseCardOptions(rest, {}, false, options)) {
    err << "velwin-cli link: " << *problem << '\n' << CommandHelp("link");
    return 2;
  }
  const auto port =
      OpenCommandPort(options.port, options.trace, err, options.json ? &out : nullptr);
  if (!port)
    return 1;
  xchanger::SteadyTickCounter ticks;
  xchanger::NoEventPump pump;
  xchanger::XChangerLink link(*port, ticks, pump);
  if (!link.FindXChanger()) {
    err << "velwin-cli: No X-Changer found on port \"" << ShownName(options.port) << "\"\n";
    if (options.json)
      out << "{\"port\":" << JsonString(options.port) << ",\"error\":\"No X-Changer found\"}\n";
    return 1;
  }
  const std::string mode = link.LinkMode() == xchanger::kLinkModeSpp ? "SPP" : "EPP";
  const std::uint8_t wrongLines = WalkDataLines(link);
  const xchanger::LinkTiming timing = xchanger::TimeLink(link, port->Clock());
  link.ResetLink();
  link.ReleaseLink();
  const bool realtime = xchanger::RealtimePriority::Available();
  const auto chips = xchanger::FlashChipTable();
  const xchanger::PortPath path = port->Path();
  const card::LinkFindings findings = card::CheckLink(path, link.LinkMode(), timing);

  if (options.json) {
    using xchanger::MicrosecondsText;
    out << "{\"port\":" << JsonString(options.port) << ",\"mode\":\"" << mode
        << "\",\"dataLines\":" << (wrongLines == 0 ? "true" : "false")
        << ",\"usPerAccess\":" << MicrosecondsText(timing.usPerAccess)
        << ",\"usPerByte\":" << MicrosecondsText(timing.usPerByte)
        << ",\"usPerByteWorst\":" << MicrosecondsText(timing.usPerByteWorst) << ",\"writable\":{";
    for (std::size_t i = 0; i < chips.size(); ++i) {
      out << (i == 0 ? "" : ",") << '"' << int{chips[i].cardMbit}
          << "\":" << (xchanger::LinkCanWrite(chips[i], timing) ? "true" : "false");
    }
    out << "},\"realtime\":" << (realtime ? "true" : "false");
    PrintFindingsJson(findings, timing, out);
    out << "}\n";
    return 0;
  }
  using xchanger::MicrosecondsText;
  out << "X-Changer found on port \"" << options.port << "\" in " << mode << " mode.\n"
      << "Address registers: " << DataLinesText(wrongLines) << ".\n"
      << "Port access: " << MicrosecondsText(timing.usPerAccess) << " us; loaded byte ("
      << int{timing.accessesPerByte} << " accesses): " << MicrosecondsText(timing.usPerByte)
      << " us median, " << MicrosecondsText(timing.usPerByteHigh) << " us for 99.9%, "
      << MicrosecondsText(timing.usPerByteWorst) << " us worst.\n";
  const bool realPort = path.kind != xchanger::PortPath::Kind::kOther;
  for (const card::CardLinkFinding& card : findings.cards) {
    const xchanger::FlashChipSpec& chip = *xchanger::FlashChipForCard(card.cardMbit);
    out << int{card.cardMbit} << " Mbit card: ";
    if (card.maxUsPerByte == 0) {
      out << "can be written over this link (its chip waits for every byte).\n";
    } else if (card.writable) {
      out << "can be written over this link (a byte must take under "
          << MicrosecondsText(card.maxUsPerByte) << " us).\n";
    } else if (card.loadsFit) {
      out << "fast enough, but its pauses come too often: try a machine at rest.\n";
    } else if (!realPort) {
      out << "too slow a link (a byte must take under " << MicrosecondsText(card.maxUsPerByte)
          << " us): try --port direct, or a machine at rest.\n";
    } else {
      out << "too slow a link (a byte must take under " << MicrosecondsText(card.maxUsPerByte)
          << " us): " << card.causeText << ". To write it: " << card.remedy << ".\n";
    }
    const std::string reloads =
        xchanger::ReloadText(chip, timing, chip.sizeBytes / chip.programUnitBytes);
    if (!reloads.empty())
      out << "  " << reloads << '\n';
  }
  if (realPort)
    PrintPath(findings, out);
  for (const xchanger::FlashChipSpec& chip : chips)
    out << xchanger::ByteWindowText(chip) << '\n';
  out << "Real-time scheduling: "
      << (realtime ? "available.\n"
                   : "not permitted (root, CAP_SYS_NICE or the rtprio limit permit it); page "
                     "loads that a pause cuts are loaded again.\n");
  return 0;
}

}  // namespace velwin::cli
