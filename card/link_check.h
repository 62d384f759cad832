#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chips/link_timing.h"
#include "port/port_path.h"

namespace velwin::card {

using xchanger::FlashChipSpec;
using xchanger::LinkTiming;
using xchanger::PortPath;

// Why a link is too slow for a card's page loads.
enum class SlowCause {
  kNone,         // fast enough
  kRights,       // ppdev for want of the rights to drive the port directly
  kPortMode,     // the port's ECP+EPP mode costs the kernel's transfers their speed
  kSppOnly,      // the X-Changer answered only in SPP mode
  kBusyMachine,  // the median byte would do, the pauses of a busy machine do not
  kSlowPort,     // even the median byte is too slow on this path
};

// One card as the link in hand can write it.
struct CardLinkFinding {
  std::uint8_t cardMbit = 0;
  bool writable = false;
  double maxUsPerByte = 0;  // 0 for a chip that waits for every byte
  SlowCause cause = SlowCause::kNone;
  // Not writable although every page load fits the link: only its pauses
  // would cut too many of them.
  bool loadsFit = false;
  // What was measured, and what to change on this machine; empty when
  // writable.
  std::string causeText;
  std::string remedy;
};

// What link test reports about the path to the port and each card.
struct LinkFindings {
  std::string path;      // "direct, under the claim of the kernel's ppdev driver"
  std::string portKind;  // "ECP+EPP", "EPP", "ECP", "SPP" or "unknown"
  std::string mode;      // "EPP" or "SPP": the link's mode
  std::string sppWhy;    // why SPP on a port that offers EPP; empty otherwise
  std::string assumed;   // what was assumed about the port, or why the direct path was not taken
  std::vector<CardLinkFinding> cards;
};

LinkFindings CheckLink(const PortPath& path, std::uint8_t linkMode, const LinkTiming& timing);

// The finding for one chip.
CardLinkFinding CheckCard(const FlashChipSpec& chip, const PortPath& path, std::uint8_t linkMode,
                          const LinkTiming& timing);

// "The cause: ...; remedy." for a card the link is too slow for, to follow
// the refusal of a write.
std::string SlowLinkAdvice(const CardLinkFinding& finding);

// "Link too slow for this card: ..." with the measured cause and the remedy
// for this machine in place of the general hint, where the path is known.
std::string SlowLinkRefusal(const FlashChipSpec& chip, const LinkTiming& timing,
                            const PortPath& path, std::uint8_t linkMode);

}  // namespace velwin::card
