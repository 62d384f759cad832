#include "card/write_execution.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace velwin::card {

namespace {

using xchanger::FlashOutcome;

std::string Capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

// The message for an erase or program that the chip did not complete.
std::string FailureText(const xchanger::FlashChipSpec& chip, bool erase, std::uint32_t address,
                        const FlashOutcome& outcome) {
  const std::string unit = UnitText(chip, address);
  const std::string status = ": status " + HexText(outcome.status, 2) + ".";
  const std::string where = erase ? " in " + unit : " at " + HexText(address, 6) + " in " + unit;
  switch (outcome.kind) {
    case FlashOutcome::Kind::kTimeout:
      return std::string(erase ? "Erase" : "Program") + " timed out" + where +
             ": the chip did not finish within twice its datasheet time.";
    case FlashOutcome::Kind::kLocked:
      return Capitalised(unit) + " is locked" + status;
    case FlashOutcome::Kind::kVoltageLow:
      return "Programming voltage too low" + where + status;
    case FlashOutcome::Kind::kBadSequence:
      return "Chip refused the command" + where + status;
    case FlashOutcome::Kind::kEraseFailed:
    case FlashOutcome::Kind::kProgramFailed:
    case FlashOutcome::Kind::kDone:
      break;
  }
  return std::string(erase ? "Erase failed" : "Program failed") + where + status;
}

// The first byte where the card differs from what was written, or nothing.
std::optional<std::size_t> FirstDifference(std::span<const std::uint8_t> read,
                                           std::span<const std::uint8_t> wanted) {
  const auto [r, w] = std::mismatch(read.begin(), read.end(), wanted.begin(), wanted.end());
  if (r == read.end())
    return std::nullopt;
  return static_cast<std::size_t>(r - read.begin());
}

void NoteWritten(CardWriteResult& result, std::uint32_t begin, std::uint32_t end) {
  if (result.writtenBegin == result.writtenEnd) {
    result.writtenBegin = begin;
    result.writtenEnd = end;
    return;
  }
  result.writtenBegin = std::min(result.writtenBegin, begin);
  result.writtenEnd = std::max(result.writtenEnd, end);
}

}  // namespace

std::string UnitText(const xchanger::FlashChipSpec& chip, std::uint32_t address) {
  const std::uint32_t unitBytes =
      chip.eraseUnitBytes != 0 ? chip.eraseUnitBytes : chip.programUnitBytes;
  const std::uint32_t index = address / unitBytes;
  return std::string(chip.eraseUnitName) + " " + std::to_string(index) + " (" +
         RangeText(index * unitBytes, (index + 1) * unitBytes) + ")";
}

JobOutcome ExecuteWritePlan(xchanger::FlashDriver& driver, xchanger::CartAccess& cart,
                            const xchanger::FlashChipSpec& chip, const WritePlan& plan,
                            std::span<const std::uint8_t> target, JobControl& control,
                            JobProgress& progress, CardWriteResult& result) {
  std::vector<std::uint8_t> readBack;
  const auto fail = [&driver](std::string why) {
    driver.ResetToReadArray();
    return JobOutcome::Failed(std::move(why));
  };
  for (const UnitPlan& unit : plan.units) {
    progress.bank = unit.address / 0x4000u;
    if (unit.erase) {
      progress.phase = JobPhase::kErasing;
      if (!control.AtBankBoundary(progress))
        return JobOutcome::Cancelled();
      const FlashOutcome erased = driver.EraseUnit(unit.address);
      NoteWritten(result, unit.address, unit.address + unit.length);
      if (!erased.Ok())
        return fail(FailureText(chip, true, unit.address, erased));
      ++result.erasedUnits;
    }
    for (const ProgramStep& step : unit.programs) {
      progress.phase = JobPhase::kProgramming;
      progress.bank = step.address / 0x4000u;
      if (!control.AtBankBoundary(progress))
        return JobOutcome::Cancelled();
      const auto wanted = target.subspan(step.address, step.length);
      readBack.resize(step.length);
      // Every page or buffer is read back before the job moves on; one that
      // differs is written once more, and a second difference ends the job.
      for (int attempt = 0;; ++attempt) {
        const FlashOutcome programmed = driver.Program(step.address, wanted);
        NoteWritten(result, step.address, step.address + step.length);
        if (!programmed.Ok())
          return fail(FailureText(chip, false, step.address, programmed));
        xchanger::ReadFlashRange(cart, step.address, readBack);
        const auto differs = FirstDifference(readBack, wanted);
        if (!differs)
          break;
        if (attempt == 1) {
          const auto at = step.address + static_cast<std::uint32_t>(*differs);
          return fail("Verify failed at " + HexText(at, 6) + " in " + UnitText(chip, at) +
                      ": wrote " + HexText(wanted[*differs], 2) + ", read " +
                      HexText(readBack[*differs], 2) + " twice.");
        }
      }
      result.programmedBytes += step.length;
      progress.bytesDone += step.length;
    }
  }
  return JobOutcome::Done();
}

std::string HexText(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

std::string RangeText(std::uint32_t begin, std::uint32_t end) {
  return HexText(begin, 6) + "-" + HexText(end - 1, 6);
}

}  // namespace velwin::card
