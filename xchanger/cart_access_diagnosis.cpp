#include "xchanger/cart_access_diagnosis.h"

#include <algorithm>

#include "gbheader/header_logo.h"
#include "xchanger/cart_access.h"

namespace velwin::xchanger {
namespace {

constexpr const char* kCleanContacts = ": clean the cart's contacts and try again.";

std::string Line(int line) {
  return "D" + std::to_string(line);
}

bool AllExplained(const DataLineFault& fault, std::span<const KnownRead> reads) {
  return std::all_of(reads.begin(), reads.end(),
                     [&](const KnownRead& r) { return fault.Explains(r.known, r.read); });
}

}  // namespace

std::string HeldLineText(int line, bool high) {
  return "Data line " + Line(line) + " always reads " + (high ? "1" : "0") + kCleanContacts;
}

std::string ShortedLinesText(int lower, int higher) {
  return "Data lines " + Line(lower) + " and " + Line(higher) + " always read alike" +
         kCleanContacts;
}

bool DataLineFault::Explains(std::uint8_t truth, std::uint8_t read) const {
  const unsigned bit = 1u << line;
  if (!shorted) {
    const unsigned held = high ? (truth | bit) : (truth & ~bit);
    return (held & 0xFFu) == read;
  }
  const unsigned both = bit | (1u << other);
  if ((truth & ~both) != (read & ~both))
    return false;
  const unsigned readBoth = read & both;
  if (readBoth != 0 && readBoth != both)
    return false;  // shorted lines carry one level
  // The level read must be one that a driver of the two put on the pair.
  return readBoth == 0 ? (truth & both) != both : (truth & both) != 0;
}

std::string DataLineFault::Text() const {
  return shorted ? ShortedLinesText(line, other) : HeldLineText(line, high);
}

std::vector<DataLineFault> FaultsExplaining(std::span<const KnownRead> reads) {
  std::vector<DataLineFault> found;
  const bool allRight =
      std::all_of(reads.begin(), reads.end(), [](const KnownRead& r) { return r.known == r.read; });
  if (reads.empty() || allRight)
    return found;
  for (std::uint8_t line = 0; line < 8; ++line) {
    for (const bool high : {false, true}) {
      const DataLineFault fault{false, line, 0, high};
      if (AllExplained(fault, reads))
        found.push_back(fault);
    }
  }
  for (std::uint8_t line = 0; line < 8; ++line) {
    for (std::uint8_t other = line + 1; other < 8; ++other) {
      const DataLineFault fault{true, line, other, false};
      if (AllExplained(fault, reads))
        found.push_back(fault);
    }
  }
  return found;
}

std::string FaultText(std::span<const DataLineFault> faults) {
  // One held line is the likelier fault: a dirty contact is common, a short
  // between two pins rare, and where the bytes fit both, the held line is
  // named.
  const auto held = std::count_if(faults.begin(), faults.end(),
                                  [](const DataLineFault& f) { return !f.shorted; });
  if (held == 1)
    return faults.front().Text();
  if (held == 0 && faults.size() == 1)
    return faults.front().Text();
  return faults.empty() ? std::string() : kSomeDataLineHeld;
}

std::string WhyNoCartFound(CartAccess& cart, std::span<const std::uint8_t> head) {
  // The X-Changer's own registers echo what is written to them, with or
  // without a cart: a search that finds none tells a dropped link.
  if (!cart.Link().FindXChanger())
    return kXChangerStoppedAnswering;

  // A game or a full card: the header's logo, whose bytes show every line at
  // both levels and every pair apart, read almost right.
  std::vector<KnownRead> logo;
  for (std::size_t i = 0;
       i < gbheader::HeaderLogo.size() && gbheader::kLogoOffset + i < head.size(); ++i)
    logo.push_back({gbheader::HeaderLogo[i], head[gbheader::kLogoOffset + i]});
  if (const auto faults = FaultsExplaining(logo); !faults.empty())
    return FaultText(faults);

  // A flash chip whose codes came back almost right. The probes run in
  // turn, and the first whose answers a fault explains decides: the chip
  // answered that probe, and a chip that failed its own probe may still sit
  // in its identification mode and answer the next probe's reads with its
  // codes, which another fault might seem to explain.
  std::vector<KnownRead> reads;
  const auto& answers = cart.LastProbeAnswers();
  for (std::size_t i = 0; i < answers.size(); ++i) {
    reads.push_back({answers[i].expected, answers[i].read});
    if (i + 1 < answers.size() && answers[i + 1].cardMbit == answers[i].cardMbit)
      continue;
    if (const auto faults = FaultsExplaining(reads); !faults.empty())
      return FaultText(faults);
    reads.clear();
  }

  // Bank 0 of one byte throughout: erased flash, or a bus nobody drives,
  // reads 0xFF; one line short of it is held at 0.
  const std::uint8_t first = head.empty() ? 0xFF : head[0];
  const bool oneByte =
      std::all_of(head.begin(), head.end(), [first](std::uint8_t b) { return b == first; });
  if (oneByte && first != 0xFF) {
    const KnownRead fill[] = {{0xFF, first}};
    std::vector<DataLineFault> held = FaultsExplaining(fill);
    std::erase_if(held, [](const DataLineFault& f) { return f.shorted; });
    if (!held.empty())
      return FaultText(held);
  }
  return "No Cart found";
}

}  // namespace velwin::xchanger
