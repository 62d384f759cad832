#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "card/card_kind.h"
#include "card/job_progress.h"
#include "card/write_precheck.h"
#include "chips/flash_chip_table.h"
#include "chips/link_timing.h"
#include "port/chip_clock.h"
#include "port/page_load_priority.h"
#include "port/port_path.h"
#include "xchanger/cart_access.h"

namespace velwin::card {

struct CardWriteOptions {
  bool unlock = false;       // clear Intel lock bits where a block to write is locked
  bool backup = true;        // keep the card's old contents in a file first
  std::string backupFolder;  // where the backup goes
  std::time_t now = 0;       // names the backup
  // Raised for each page load where the user may; null for none (the
  // simulator, tests).
  xchanger::PageLoadPriority* priority = nullptr;
  // How the port is reached: a refusal for a slow link names the cause and
  // the remedy on this machine from it.
  xchanger::PortPath port;
  // Runs the writing of the backup as whoever is to own it (the user who
  // asked for a write that runs as root); null: as this process.
  std::function<void(const std::function<void()>& write)> asBackupOwner;
};

// What a card write did, for the output and --json.
struct CardWriteResult {
  JobOutcome outcome;
  std::uint8_t cardMbit = 0;  // 0 before a flash card was identified
  std::string cardName;       // as CardDescription names it; empty before a card was identified
  std::uint64_t bytes = 0;    // the image's size
  std::uint32_t erasedUnits = 0;
  std::uint64_t programmedBytes = 0;
  std::string backupPath;  // empty without a backup
  bool verified = false;
  // The range of the card changed so far, [writtenBegin, writtenEnd);
  // empty when nothing was erased or programmed.
  std::uint32_t writtenBegin = 0;
  std::uint32_t writtenEnd = 0;
  // The link as timed before the first erase; none when the job stopped
  // before it.
  std::optional<xchanger::LinkTiming> link;
  // Page loads cut by a pause and loaded again.
  std::uint32_t reloadedLoads = 0;
};

// Lines the job has to say while it runs (the backup's path before the first
// erase), for the terminal and the log.
using WriteLog = std::function<void(const std::string&)>;

// How the log line that names the backup begins: the last line before the
// first erase, once a backup is kept.
inline constexpr const char* kBackupSavedPrefix = "Old card contents saved to ";

// Writes image onto the flash card from address 0; the rest of the card
// stays as it was. Identifies the card and refuses, before it reads
// anything, what CheckWrite refuses and locked blocks the image changes
// unless unlock is set (the log then names the blocks unlocked and locked
// again). Reads the card (every bank twice), keeps
// the old contents in a backup file, then times the link and refuses one
// too slow for the chip's byte-load window, all before anything is erased;
// erases and programs only what differs, loads a page that a pause cut
// again at once, waits for each operation by the chip's own signal, reads
// back every page or buffer it wrote (writing it once more when it differs)
// and compares the written banks with the image at the end. A failure puts
// the failing sector, block or page back as it was, where it can, and
// stops; a cancel finishes the page or sector in hand and stops; either
// leaves the chip in read-array mode. The SRAM is never touched.
CardWriteResult WriteCard(xchanger::CartAccess& cart, xchanger::ChipClock& clock,
                          std::span<const std::uint8_t> image, const CardWriteOptions& options,
                          JobControl& control, const WriteLog& log);

// The result of a write that check refuses, locked blocks included unless
// unlock is set, named as far as the card was identified; none when the
// write may go on.
std::optional<CardWriteResult> RefusedWrite(const WriteCheck& check, std::uint64_t imageBytes,
                                            bool unlock);

// How much of the card a write reads before it changes anything: all of it
// for the backup, else the erase units (at least whole banks) the image
// reaches, so that an erase never wipes bytes that were not read.
std::uint64_t BytesReadBeforeWrite(const xchanger::FlashChipSpec& chip, std::uint64_t imageBytes,
                                   bool backup);

// What a stopped write leaves: which range of the card changed, and that
// the backup (named as the caller shows it) holds the old card.
std::string StoppedWriteText(const CardWriteResult& result, const std::string& backupShown);

// "0x0A0000-0x0BFFFF": an address range as the messages give it.
std::string RangeText(std::uint32_t begin, std::uint32_t end);

}  // namespace velwin::card
