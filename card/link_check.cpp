#include "card/link_check.h"

#include <string>

namespace velwin::card {

namespace {

using xchanger::kLinkModeSpp;
using xchanger::MicrosecondsText;

constexpr const char* kBiosEpp = "set the parallel port to EPP in the BIOS setup";
constexpr const char* kSudo = "run with sudo, so that velwin drives the port directly";

std::string PathText(const PortPath& path) {
  switch (path.kind) {
    case PortPath::Kind::kPpdev:
      return "ppdev (a call into the kernel for every port access)";
    case PortPath::Kind::kDirect:
      return "direct (port instructions)";
    case PortPath::Kind::kDirectUnderPpdev:
      return "direct (port instructions, the port claimed through ppdev)";
    case PortPath::Kind::kOther:
      break;
  }
  return "simulated";
}

bool IsEcpEpp(const PortPath& path) {
  return path.ecp && path.epp;
}

std::string SppWhy(const PortPath& path, std::uint8_t linkMode) {
  if (linkMode != kLinkModeSpp)
    return {};
  if (path.ecp && path.kind != PortPath::Kind::kPpdev && !path.ecrToEpp)
    return "the port's ECP mode offers no EPP, so its extended control register was left as found";
  if (path.ecp && path.kind != PortPath::Kind::kPpdev)
    return "the extended control register was set to EPP mode, but the X-Changer did not answer "
           "in EPP";
  if (path.ecp)
    return "the kernel's EPP transfers on this ECP port did not reach the X-Changer";
  if (path.modesKnown && !path.epp)
    return "the port offers no EPP (set to SPP or bidirectional in the BIOS setup)";
  if (path.epp)
    return "the X-Changer did not answer in EPP mode";
  return {};
}

}  // namespace

CardLinkFinding CheckCard(const FlashChipSpec& chip, const PortPath& path, std::uint8_t linkMode,
                          const LinkTiming& timing) {
  CardLinkFinding finding;
  finding.cardMbit = chip.cardMbit;
  finding.writable = xchanger::LinkCanWrite(chip, timing);
  if (chip.byteLoadWindowUs == 0 || finding.writable) {
    finding.maxUsPerByte = chip.byteLoadWindowUs == 0 ? 0 : xchanger::MaxUsPerByte(chip);
    return finding;
  }
  finding.maxUsPerByte = xchanger::MaxUsPerByte(chip);
  if (xchanger::PageLoadFitsLink(chip, timing)) {
    // Fast enough for a page load, but its pauses would cut too many of them.
    finding.cause = SlowCause::kBusyMachine;
    finding.loadsFit = true;
    finding.causeText =
        "the link's pauses would cut about " +
        std::to_string(static_cast<int>(xchanger::CutLoadShare(chip, timing) * 100 + 0.5)) +
        "% of the page loads, and each one cut is programmed twice";
    finding.remedy = "close other programs, or write on a machine at rest";
    return finding;
  }
  const std::string measured = "a loaded byte takes " + MicrosecondsText(timing.usPerByteHigh) +
                               " us for 99.9% of bytes (" + MicrosecondsText(timing.usPerByte) +
                               " us median)";
  LinkTiming atMedian = timing;
  atMedian.usPerByteHigh = timing.usPerByte;
  const bool medianFits = xchanger::PageLoadFitsLink(chip, atMedian);
  if (path.kind == PortPath::Kind::kPpdev && !path.rawIo) {
    finding.cause = SlowCause::kRights;
    finding.causeText = measured + " through ppdev, a call into the kernel for every port access" +
                        (IsEcpEpp(path) ? ", and the kernel switches the ECP+EPP port's mode "
                                          "around each transfer"
                                        : "");
    finding.remedy = std::string(kSudo) + (IsEcpEpp(path) ? std::string("; or ") + kBiosEpp : "");
  } else if (path.kind == PortPath::Kind::kPpdev) {
    // The rights are there, but the direct path was not taken.
    finding.cause = IsEcpEpp(path) ? SlowCause::kPortMode : SlowCause::kSlowPort;
    finding.causeText = measured + " through ppdev, as the direct path could not be taken" +
                        (path.note.empty() ? "" : " (" + path.note + ")");
    if (IsEcpEpp(path))
      finding.remedy = kBiosEpp;
    else if (path.directRefused)
      finding.remedy =
          "start the machine without kernel lockdown (Secure Boot), so that velwin "
          "may drive the port directly";
    else
      finding.remedy = "name the port's base, as in --port direct:0x378";
  } else if (linkMode == kLinkModeSpp) {
    finding.cause = SlowCause::kSppOnly;
    finding.causeText = measured + " in SPP mode, 12 port accesses a byte";
    finding.remedy = kBiosEpp;
  } else if (medianFits) {
    finding.cause = SlowCause::kBusyMachine;
    finding.causeText = measured +
                        ": the median byte would do, but other programs hold up one "
                        "byte in a thousand (a busy machine)";
    finding.remedy = "close other programs, or write on a machine at rest";
  } else {
    finding.cause = SlowCause::kSlowPort;
    finding.causeText = measured + " even on the direct path in EPP mode: the port itself is slow";
    finding.remedy = "use the main board's own parallel port, in EPP mode";
  }
  return finding;
}

LinkFindings CheckLink(const PortPath& path, std::uint8_t linkMode, const LinkTiming& timing) {
  LinkFindings findings;
  findings.path = PathText(path);
  findings.portKind = xchanger::PortKindText(path);
  findings.mode = linkMode == kLinkModeSpp ? "SPP" : "EPP";
  findings.sppWhy = SppWhy(path, linkMode);
  findings.assumed = path.note;
  for (const FlashChipSpec& chip : xchanger::FlashChipTable())
    findings.cards.push_back(CheckCard(chip, path, linkMode, timing));
  return findings;
}

std::string SlowLinkAdvice(const CardLinkFinding& finding) {
  if (finding.writable || finding.cause == SlowCause::kNone)
    return {};
  return "Here " + finding.causeText + ": " + finding.remedy + ".";
}

std::string SlowLinkRefusal(const FlashChipSpec& chip, const LinkTiming& timing,
                            const PortPath& path, std::uint8_t linkMode) {
  const std::string text = xchanger::LinkTooSlowText(chip, timing);
  // What was found on this machine, else the general hint.
  const std::string advice = path.kind == PortPath::Kind::kOther
                                 ? std::string()
                                 : SlowLinkAdvice(CheckCard(chip, path, linkMode, timing));
  return advice.empty() ? text + xchanger::kSlowLinkHint : text + " " + advice;
}

}  // namespace velwin::card
