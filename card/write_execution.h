#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "card/card_write_job.h"
#include "card/data_line_check.h"
#include "card/job_progress.h"
#include "card/write_plan.h"
#include "chips/flash_driver.h"

namespace velwin::card {

// Carries out a write plan unit by unit: erase where planned, then each
// program step, read back and compared at once, written once more when it
// differs. A page load that came too slowly for the chip's window is loaded
// again at once. Asks the control before every erase and every program
// step, so a cancel lets the one in hand finish. Adds what it changed to
// result; on a failure puts the failing unit's old contents (from old, the
// card as read before the job) back, and returns the message that names the
// chip's answer, the unit and the address, and what the unit holds now.
// Leaves the chip in read-array mode either way. Every unit's final read
// back goes to lines, so that the job can ask whether the bytes that
// matched came over sound data lines.
JobOutcome ExecuteWritePlan(xchanger::FlashDriver& driver, xchanger::CartAccess& cart,
                            const xchanger::FlashChipSpec& chip, const WritePlan& plan,
                            std::span<const std::uint8_t> old, std::span<const std::uint8_t> target,
                            JobControl& control, JobProgress& progress, CardWriteResult& result,
                            DataLineCheck& lines);

// "sector 5 (0x0A0000-0x0BFFFF)", "block 3 (...)", or "page 17 (...)" on a
// chip without erase units: the unit that holds address.
std::string UnitText(const xchanger::FlashChipSpec& chip, std::uint32_t address);
// The units named one after the other: "block 1 (...), block 5 (...)".
std::string UnitsText(const xchanger::FlashChipSpec& chip, const std::vector<std::uint32_t>& units);

// "0x0A", "0x0A0000": a value in hex with at least digits digits.
std::string HexText(std::uint32_t value, int digits);

}  // namespace velwin::card
