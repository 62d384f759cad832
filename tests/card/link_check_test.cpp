#include "card/link_check.h"

#include <gtest/gtest.h>

#include <string>

namespace velwin::card {
namespace {

using Kind = xchanger::PortPath::Kind;

const xchanger::FlashChipSpec& Chip16() {
  for (const xchanger::FlashChipSpec& chip : xchanger::FlashChipTable()) {
    if (chip.cardMbit == 16)
      return chip;
  }
  throw std::logic_error("no 16 Mbit chip");
}

xchanger::LinkTiming Timing(double median, double high) {
  xchanger::LinkTiming timing;
  timing.accessesPerByte = 4;
  timing.usPerByte = median;
  timing.usPerByteHigh = high;
  timing.usPerByteWorst = high;
  timing.usPerAccess = median / 4;
  return timing;
}

xchanger::PortPath Path(Kind kind, bool ecp, bool rawIo) {
  xchanger::PortPath path;
  path.kind = kind;
  path.modesKnown = true;
  path.epp = true;
  path.ecp = ecp;
  path.ecrToEpp = ecp && kind != Kind::kPpdev;
  path.rawIo = rawIo;
  return path;
}

// Each cause of a slow link gets the remedy for this machine, in the words
// the README and the manual page use.
TEST(LinkCheck, NamesTheCauseAndTheRemedyOfASlowLink) {
  const double limit = xchanger::MaxUsPerByte(Chip16());
  const xchanger::LinkTiming slow = Timing(limit * 1.5, limit * 2);
  const xchanger::LinkTiming pauses = Timing(limit / 2, limit * 3);
  const std::string sudo = "run with sudo, so that velwin drives the port directly";
  const std::string bios = "set the parallel port to EPP in the BIOS setup";
  struct Case {
    const char* name;
    xchanger::PortPath path;
    std::uint8_t mode;
    xchanger::LinkTiming timing;
    SlowCause cause;
    std::string remedy;
  };
  for (const Case& c : {
           Case{"ppdev on ECP+EPP", Path(Kind::kPpdev, true, false), xchanger::kLinkModeEpp, slow,
                SlowCause::kRights, sudo + "; or " + bios},
           Case{"ppdev on EPP", Path(Kind::kPpdev, false, false), xchanger::kLinkModeEpp, slow,
                SlowCause::kRights, sudo},
           Case{"direct in SPP", Path(Kind::kDirect, false, true), xchanger::kLinkModeSpp, slow,
                SlowCause::kSppOnly, bios},
           Case{"busy machine", Path(Kind::kDirectUnderPpdev, true, true), xchanger::kLinkModeEpp,
                pauses, SlowCause::kBusyMachine,
                "close other programs, or write on a machine at rest"},
       }) {
    SCOPED_TRACE(c.name);
    const CardLinkFinding finding = CheckCard(Chip16(), c.path, c.mode, c.timing);
    EXPECT_FALSE(finding.writable);
    EXPECT_EQ(finding.cause, c.cause);
    EXPECT_EQ(finding.remedy, c.remedy);
    const std::string refusal = SlowLinkRefusal(Chip16(), c.timing, c.path, c.mode);
    EXPECT_EQ(refusal.rfind("Link too slow for this card: ", 0), 0u) << refusal;
    EXPECT_NE(refusal.find(c.remedy + "."), std::string::npos) << refusal;
    EXPECT_EQ(refusal.find("Try --port direct"), std::string::npos) << refusal;
  }
  // A link fast enough needs no advice; the simulation keeps the general hint.
  const CardLinkFinding fast = CheckCard(Chip16(), Path(Kind::kPpdev, true, false),
                                         xchanger::kLinkModeEpp, Timing(limit / 2, limit / 2));
  EXPECT_TRUE(fast.writable);
  EXPECT_EQ(SlowLinkAdvice(fast), "");
  EXPECT_NE(SlowLinkRefusal(Chip16(), slow, {}, xchanger::kLinkModeEpp).find("Try --port direct"),
            std::string::npos);
}

TEST(LinkCheck, SaysWhySppOnAnEcpPortAndWhatWasAssumed) {
  xchanger::PortPath path = Path(Kind::kDirect, true, true);
  path.epp = false;
  path.ecrToEpp = false;
  path.note = "no port modes listed";
  const LinkFindings findings = CheckLink(path, xchanger::kLinkModeSpp, Timing(1, 1));
  EXPECT_EQ(findings.portKind, "ECP");
  EXPECT_EQ(findings.mode, "SPP");
  EXPECT_NE(findings.sppWhy.find("offers no EPP"), std::string::npos) << findings.sppWhy;
  EXPECT_EQ(findings.assumed, "no port modes listed");
  EXPECT_EQ(findings.cards.size(), xchanger::FlashChipTable().size());
}

}  // namespace
}  // namespace velwin::card
