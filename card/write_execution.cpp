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

namespace {

// Reads [address, address + bytes.size()) bank by bank.
void ReadRange(xchanger::CartAccess& cart, std::uint32_t address, std::span<std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::uint32_t at = address + static_cast<std::uint32_t>(done);
    const std::size_t inBank = std::min<std::size_t>(bytes.size() - done, 0x4000u - at % 0x4000u);
    xchanger::ReadFlashRange(cart, at, bytes.subspan(done, inBank));
    done += inBank;
  }
}

}  // namespace

JobOutcome ExecuteWritePlan(xchanger::FlashDriver& driver, xchanger::CartAccess& cart,
                            const xchanger::FlashChipSpec& chip, const WritePlan& plan,
                            std::span<const std::uint8_t> target, JobControl& control,
                            JobProgress& progress, CardWriteResult& result) {
  std::vector<std::uint8_t> readBack;
  const auto fail = [&driver](std::string why) {
    driver.ResetToReadArray();
    return JobOutcome::Failed(std::move(why));
  };
  const auto program = [&](const ProgramStep& step) -> std::optional<std::string> {
    const FlashOutcome programmed =
        driver.Program(step.address, target.subspan(step.address, step.length));
    NoteWritten(result, step.address, step.address + step.length);
    if (!programmed.Ok())
      return FailureText(chip, false, step.address, programmed);
    return std::nullopt;
  };
  for (const UnitPlan& unit : plan.units) {
    progress.bank = unit.address / 0x4000u;
    progress.unit = static_cast<std::uint32_t>(&unit - plan.units.data()) + 1;
    if (unit.erase) {
      progress.phase = JobPhase::kErasing;
      if (!control.AtBankBoundary(progress))
        return JobOutcome::Cancelled();
      const FlashOutcome erased = driver.EraseUnit(unit.address);
      NoteWritten(result, unit.address, unit.address + unit.length);
      if (!erased.Ok())
        return fail(FailureText(chip, true, unit.address, erased));
      ++result.erasedUnits;
      progress.AddErase();
    }
    for (const ProgramStep& step : unit.programs) {
      progress.phase = JobPhase::kProgramming;
      progress.bank = step.address / 0x4000u;
      if (!control.AtBankBoundary(progress))
        return JobOutcome::Cancelled();
      if (const auto failed = program(step))
        return fail(*failed);
      result.programmedBytes += step.length;
      progress.bytesDone += step.length;
      progress.AddProgram(step.length);
    }
    // The unit is read back whole before the job moves on: every page or
    // buffer written in it, and after an erase the pages left blank too.
    // One block read of the unit costs far less than one per page, and it
    // is the comparison with the image of this range after its last change.
    // A page or buffer that differs is written once more; if it still
    // differs, or a byte that was not to be written differs, the job fails.
    progress.phase = JobPhase::kVerifying;
    control.Report(progress);
    driver.ReadArrayMode();
    readBack.resize(unit.length);
    ReadRange(cart, unit.address, readBack);
    progress.AddRead(unit.length);
    const auto wanted = target.subspan(unit.address, unit.length);
    std::vector<bool> retried(unit.programs.size(), false);
    std::size_t offset = 0;
    for (;;) {
      const auto differs =
          FirstDifference(std::span(readBack).subspan(offset), wanted.subspan(offset));
      if (!differs)
        break;
      const std::size_t i = offset + *differs;
      const std::uint32_t at = unit.address + static_cast<std::uint32_t>(i);
      const auto step = std::find_if(
          unit.programs.begin(), unit.programs.end(),
          [at](const ProgramStep& s) { return at >= s.address && at < s.address + s.length; });
      const auto index = static_cast<std::size_t>(step - unit.programs.begin());
      if (step == unit.programs.end() || retried[index]) {
        return fail("Verify failed at " + HexText(at, 6) + " in " + UnitText(chip, at) +
                    ": wanted " + HexText(target[at], 2) + ", read " + HexText(readBack[i], 2) +
                    (step == unit.programs.end() ? "." : " twice."));
      }
      retried[index] = true;
      if (const auto failed = program(*step))
        return fail(*failed);
      driver.ReadArrayMode();
      offset = step->address - unit.address;
      ReadRange(cart, step->address, std::span(readBack).subspan(offset, step->length));
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
