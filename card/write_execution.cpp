#include "card/write_execution.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "xchanger/cart_access_diagnosis.h"

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

std::string UnitsText(const xchanger::FlashChipSpec& chip,
                      const std::vector<std::uint32_t>& units) {
  std::string text;
  for (const std::uint32_t unit : units)
    text += (text.empty() ? "" : ", ") + UnitText(chip, unit);
  return text;
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

// A page load that a pause cut is loaded again at once, up to this many
// loads in all; then the read back decides.
constexpr int kLoadTries = 4;

// Programs one step's bytes from contents, loading it again while the
// driver says the load was cut. Counts the extra loads in result.
FlashOutcome ProgramStepOf(xchanger::FlashDriver& driver, const ProgramStep& step,
                           std::span<const std::uint8_t> contents, CardWriteResult& result) {
  FlashOutcome programmed;
  for (int load = 0; load < kLoadTries; ++load) {
    programmed = driver.Program(step.address, contents.subspan(step.address, step.length));
    NoteWritten(result, step.address, step.address + step.length);
    if (!programmed.Ok() || !programmed.cut || load + 1 == kLoadTries)
      break;
    ++result.reloadedLoads;
  }
  return programmed;
}

// How far a failed unit was put back.
struct Restored {
  bool tried = false;  // erased again (where the chip erases) and programmed
  // The program units (pages, buffers) that still differ from the old
  // contents, [begin, end) each.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> differing;

  bool Whole() const { return tried && differing.empty(); }
};

// Puts a unit's old contents back after its write failed: erased again
// where the chip erases, every program unit that is not blank programmed
// from old (on a chip without erase, every page), then read back whole. A
// page that fails to program (a dead cell) does not stop the rest: every
// other page of the unit still gets its old bytes back, and the read back
// tells which pages differ.
Restored RestoreUnit(xchanger::FlashDriver& driver, xchanger::CartAccess& cart,
                     const xchanger::FlashChipSpec& chip, const UnitPlan& unit,
                     std::span<const std::uint8_t> old, CardWriteResult& result) {
  Restored restored;
  driver.ResetToReadArray();
  if (chip.eraseUnitBytes != 0 && !driver.EraseUnit(unit.address).Ok())
    return restored;
  for (std::uint32_t at = unit.address; at < unit.address + unit.length;
       at += chip.programUnitBytes) {
    const ProgramStep step{at, std::min(chip.programUnitBytes, unit.address + unit.length - at)};
    const auto bytes = old.subspan(at, step.length);
    const bool blank =
        std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
    if (chip.eraseUnitBytes != 0 && blank)
      continue;
    if (!ProgramStepOf(driver, step, old, result).Ok())
      driver.ResetToReadArray();  // the read back names this page
  }
  driver.ReadArrayMode();
  std::vector<std::uint8_t> readBack(unit.length);
  ReadRange(cart, unit.address, readBack);
  // A link that dropped, or a cart pulled out, reads 0xFF throughout, just
  // as a blank unit does: the read back of a unit that was blank before the
  // job would match though not one command reached the chip, and the bytes
  // the failed write left there would go unreported. Only a chip that still
  // answers as itself has really taken the old contents back.
  const bool answers = cart.IdentifyFlashCard() == chip.cardMbit;
  driver.ResetToReadArray();
  if (!answers)
    return restored;
  restored.tried = true;
  for (std::uint32_t at = 0; at < unit.length; at += chip.programUnitBytes) {
    const std::uint32_t length = std::min(chip.programUnitBytes, unit.length - at);
    const auto read = std::span(readBack).subspan(at, length);
    if (FirstDifference(read, old.subspan(unit.address + at, length)))
      restored.differing.emplace_back(unit.address + at, unit.address + at + length);
  }
  // Nothing of the unit matched: not put back at all, said as such.
  if (restored.differing.size() * chip.programUnitBytes >= unit.length)
    restored.tried = false;
  return restored;
}

// What a failed unit holds after RestoreUnit: " Sector 5 (...) holds its old
// contents again.", or which pages of it could not be put back.
std::string RestoredText(const std::string& where, const Restored& restored,
                         const xchanger::FlashChipSpec& chip) {
  if (restored.Whole())
    return " " + where + " holds its old contents again.";
  if (!restored.tried)
    return " " + where + " could not be put back as it was.";
  const auto& [begin, end] = restored.differing.front();
  std::string text = " " + where + " could not be put back as it was at " + RangeText(begin, end);
  if (const std::size_t more = restored.differing.size() - 1; more != 0) {
    // The Intel chip programs through its write buffer; the others by pages.
    const std::string unit =
        chip.family == xchanger::FlashFamily::kIntelBlockFlash ? "buffer" : "page";
    text += " and " + std::to_string(more) + " more " + unit + (more == 1 ? "" : "s");
  }
  return text + "; the rest of it holds its old contents again.";
}

// The check of the data lines before the first erase forgives a card that
// reads as one fill throughout (0xFF blank, 0x00 programmed over): a line
// held at the fill's level shows only where the chip's identification codes
// have it at the other level, and some lines they never do (D1 and D6 on
// the 4 Mbit card, D6 and D7 on the 16 Mbit card, at 1). The read back of
// the first bytes programmed over such a line is the first to show it: the
// one line that the codes never show at the other level and that is at one
// level in every byte read back, though the image wanted the other there,
// is named as the cause ("Data line D6 always reads 1: ... "). A read back
// of nothing but a fill (a unit the chip never wrote), or one that more
// than one line fits (a chip still busy answers its status byte
// throughout), names none.
std::string StuckLineOfReadBack(const xchanger::FlashChipSpec& chip,
                                std::span<const std::uint8_t> readBack,
                                std::span<const std::uint8_t> wanted) {
  const auto fill = [&](std::uint8_t value) {
    return std::all_of(readBack.begin(), readBack.end(),
                       [value](std::uint8_t b) { return b == value; });
  };
  if (fill(0xFF) || fill(0x00))
    return {};
  std::string named;
  for (int line = 0; line < 8; ++line) {
    const unsigned bit = 1u << line;
    const unsigned level = chip.manufacturer & bit;
    if ((chip.device & bit) != level)
      continue;
    const auto atLevel = [&](std::uint8_t b) { return (b & bit) == level; };
    if (std::all_of(readBack.begin(), readBack.end(), atLevel) &&
        !std::all_of(wanted.begin(), wanted.end(), atLevel)) {
      if (!named.empty())
        return {};
      named = xchanger::HeldLineText(line, level != 0) + " ";
    }
  }
  return named;
}

}  // namespace

JobOutcome ExecuteWritePlan(xchanger::FlashDriver& driver, xchanger::CartAccess& cart,
                            const xchanger::FlashChipSpec& chip, const WritePlan& plan,
                            std::span<const std::uint8_t> old, std::span<const std::uint8_t> target,
                            JobControl& control, JobProgress& progress, CardWriteResult& result,
                            DataLineCheck& lines) {
  std::vector<std::uint8_t> readBack;
  // The range written before the unit in hand: a unit put back as it was
  // takes it back there.
  std::uint32_t beforeBegin = result.writtenBegin;
  std::uint32_t beforeEnd = result.writtenEnd;
  // A unit that failed once its erase or programming began holds neither
  // the old contents nor the image: it gets the old ones back from memory,
  // and the message says which it holds.
  const auto fail = [&](const UnitPlan& unit, std::string why) {
    const std::string where = Capitalised(UnitText(chip, unit.address));
    const Restored restored = RestoreUnit(driver, cart, chip, unit, old, result);
    if (restored.Whole()) {
      result.writtenBegin = beforeBegin;
      result.writtenEnd = beforeEnd;
    }
    why += RestoredText(where, restored, chip);
    driver.ResetToReadArray();
    return JobOutcome::Failed(std::move(why));
  };
  const auto program = [&](const ProgramStep& step) -> std::optional<std::string> {
    const FlashOutcome programmed = ProgramStepOf(driver, step, target, result);
    if (!programmed.Ok())
      return FailureText(chip, false, step.address, programmed);
    return std::nullopt;
  };
  for (const UnitPlan& unit : plan.units) {
    beforeBegin = result.writtenBegin;
    beforeEnd = result.writtenEnd;
    progress.bank = unit.address / 0x4000u;
    progress.unit = static_cast<std::uint32_t>(&unit - plan.units.data()) + 1;
    if (unit.erase) {
      progress.phase = JobPhase::kErasing;
      if (!control.AtBankBoundary(progress))
        return JobOutcome::Cancelled();
      const FlashOutcome erased = driver.EraseUnit(unit.address);
      NoteWritten(result, unit.address, unit.address + unit.length);
      if (!erased.Ok())
        return fail(unit, FailureText(chip, true, unit.address, erased));
      ++result.erasedUnits;
      progress.AddErase();
    }
    for (const ProgramStep& step : unit.programs) {
      progress.phase = JobPhase::kProgramming;
      progress.bank = step.address / 0x4000u;
      if (!control.AtBankBoundary(progress))
        return JobOutcome::Cancelled();
      if (const auto failed = program(step))
        return fail(unit, *failed);
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
        return fail(unit, StuckLineOfReadBack(chip, readBack, wanted) + "Verify failed at " +
                              HexText(at, 6) + " in " + UnitText(chip, at) + ": wanted " +
                              HexText(target[at], 2) + ", read " + HexText(readBack[i], 2) +
                              (step == unit.programs.end() ? "." : " twice."));
      }
      retried[index] = true;
      if (const auto failed = program(*step))
        return fail(unit, *failed);
      driver.ReadArrayMode();
      offset = step->address - unit.address;
      ReadRange(cart, step->address, std::span(readBack).subspan(offset, step->length));
    }
    lines.SeeData(readBack);
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
