#include "card/card_write_job.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "card/card_backup.h"
#include "card/card_kind.h"
#include "card/card_read_job.h"
#include "card/data_line_check.h"
#include "card/link_check.h"
#include "card/write_execution.h"
#include "card/write_plan.h"
#include "card/write_precheck.h"
#include "card/write_weights.h"
#include "chips/flash_chip_table.h"
#include "chips/flash_driver.h"
#include "fileio/file_error.h"

namespace velwin::card {

namespace {

// Locked Intel blocks and protected Macronix sectors are found before
// anything is erased, so that the job does not stop half-way on them. With
// unlock, every lock bit is cleared (the chip clears them all at once) and
// the blocks that were locked are noted, to be locked again at the end.
JobOutcome CheckLocks(xchanger::FlashDriver& driver, const xchanger::FlashChipSpec& chip,
                      const WritePlan& plan, bool unlock, std::vector<std::uint32_t>& relock) {
  std::vector<std::uint32_t> locked;
  for (const UnitPlan& unit : plan.units) {
    if (driver.UnitLocked(unit.address))
      locked.push_back(unit.address);
  }
  if (locked.empty())
    return JobOutcome::Done();
  if (chip.family != xchanger::FlashFamily::kIntelBlockFlash || !unlock)
    return JobOutcome::Failed(LockedUnitRefusal(chip, locked.front(), "--unlock"));
  // Every block's lock state, so that the clear-all can be undone for the
  // blocks this write does not touch as well.
  for (std::uint32_t block = 0; block < chip.sizeBytes; block += chip.eraseUnitBytes) {
    if (driver.UnitLocked(block))
      relock.push_back(block);
  }
  const xchanger::FlashOutcome cleared = driver.UnlockAll();
  if (!cleared.Ok()) {
    driver.ResetToReadArray();
    return JobOutcome::Failed("Clearing the lock bits failed: status " +
                              HexText(cleared.status, 2) + ".");
  }
  return JobOutcome::Done();
}

// "block 1 (0x020000-0x03FFFF), block 9 (...)".
// Sets the lock bits that the unlock cleared again, whatever became of the
// write, and says which: a block left open is named, never passed over. A
// lock that fails because the link dropped is said as that, once, with the
// blocks it leaves open, instead of a chip status for each.
void RelockUnits(xchanger::FlashDriver& driver, const xchanger::FlashChipSpec& chip,
                 const std::vector<std::uint32_t>& units, const WriteLog& log,
                 const std::function<std::string()>& whyGone) {
  std::vector<std::uint32_t> locked;
  for (auto unit = units.begin(); unit != units.end(); ++unit) {
    const xchanger::FlashOutcome outcome = driver.LockUnit(*unit);
    if (outcome.Ok()) {
      locked.push_back(*unit);
      continue;
    }
    driver.ResetToReadArray();
    if (const std::string gone = whyGone(); !gone.empty()) {
      log(gone + " Not locked again: " +
          UnitsText(chip, std::vector<std::uint32_t>(unit, units.end())) + ".");
      break;
    }
    log("Could not lock " + UnitText(chip, *unit) + " again: status " + HexText(outcome.status, 2) +
        "; it stays unlocked.");
  }
  if (!locked.empty())
    log("Locked again: " + UnitsText(chip, locked) + ".");
}

}  // namespace

std::optional<CardWriteResult> RefusedWrite(const WriteCheck& check, std::uint64_t imageBytes,
                                            bool unlock) {
  std::string refusal = check.refusal;
  if (refusal.empty() && !check.lockedUnits.empty() && !unlock)
    refusal = LockedUnitRefusal(*check.chip, check.lockedUnits.front(), "--unlock");
  if (refusal.empty())
    return std::nullopt;
  CardWriteResult result;
  result.outcome = JobOutcome::Failed(std::move(refusal));
  result.bytes = imageBytes;
  if (check.card)
    result.cardName = CardDescription(*check.card);
  if (check.chip != nullptr)
    result.cardMbit = check.card->flashMbit;
  return result;
}

std::uint64_t BytesReadBeforeWrite(const xchanger::FlashChipSpec& chip, std::uint64_t imageBytes,
                                   bool backup) {
  if (backup)
    return chip.sizeBytes;
  const std::uint64_t unit = std::max(chip.eraseUnitBytes, kRomBankBytes);
  return std::min<std::uint64_t>(chip.sizeBytes, (imageBytes + unit - 1) / unit * unit);
}

CardWriteResult WriteCard(xchanger::CartAccess& cart, xchanger::ChipClock& clock,
                          std::span<const std::uint8_t> image, const CardWriteOptions& options,
                          JobControl& control, const WriteLog& log) {
  CardWriteResult result;
  result.bytes = image.size();
  // 1. Identify, and refuse what the identification and the lock bits
  // already tell, before the card is read for the backup.
  const WriteCheck check = CheckWrite(cart, clock, image);
  if (std::optional<CardWriteResult> refused = RefusedWrite(check, image.size(), options.unlock))
    return std::move(*refused);
  const CardIdentity& card = *check.card;
  const xchanger::FlashChipSpec* chip = check.chip;
  result.cardName = CardDescription(card);
  result.cardMbit = card.flashMbit;

  // 2. Read the card first: all of it for the backup, else as much as the
  // erase units the image reaches, so an erase never wipes bytes not read.
  const std::uint64_t readBytes = BytesReadBeforeWrite(*chip, image.size(), options.backup);
  std::vector<std::uint8_t> old(readBytes);
  JobProgress progress;
  progress.bytesToDo = readBytes + image.size();
  BankReadPlan read;
  read.bankCount = static_cast<std::uint32_t>(readBytes / kRomBankBytes);
  read.phase = options.backup ? JobPhase::kBackingUp : JobPhase::kReading;
  read.bytesToDo = progress.bytesToDo;
  // Until the plan is made the job counts on the most a write of this image
  // can cost; the plan's own cost then shortens the rest, so the percent may
  // jump ahead but never back.
  progress.weights = WriteWeights(*chip, cart.Link().LinkMode());
  progress.workToDo = progress.weights.ReadWork(2 * readBytes) +
                      MostWriteWork(progress.weights, *chip, image.size());
  read.weights = progress.weights;
  read.workToDo = progress.workToDo;
  const auto keep = [&old](std::uint32_t bank, std::span<const std::uint8_t> bytes, std::string&) {
    std::copy(bytes.begin(), bytes.end(), old.begin() + std::ptrdiff_t{bank} * kRomBankBytes);
    return true;
  };
  // The read is trusted, and anything erased, only once the cart still
  // answers as the same card and the data lines proved sound: a dropped link
  // or a stuck line reads the same wrong bytes twice.
  result.outcome = ReadCardBanks(cart, card, control, read, keep);
  if (!result.outcome.Ok())
    return result;
  progress.bytesDone = readBytes;
  progress.AddRead(2 * readBytes);

  // 3. Rewrite only what differs.
  const std::vector<std::uint8_t> target = TargetContents(old, image);
  const WritePlan plan = PlanWrite(*chip, old, target);
  progress.bytesToDo = readBytes + plan.programmedBytes;
  progress.workToDo = progress.workDone + PlanWork(progress.weights, plan);
  progress.unitCount = static_cast<std::uint32_t>(plan.units.size());
  progress.unitName = chip->eraseUnitName;

  // The link in hand, timed before anything is erased: a link too slow
  // throughout for the chip's byte-load window would cut every page, so
  // the job is refused; a rare pause is met by loading the cut page again.
  result.link = xchanger::TimeLink(cart.Link(), clock);
  if (!plan.units.empty() && !xchanger::PageLoadFitsLink(*chip, *result.link)) {
    result.outcome = JobOutcome::Failed(
        SlowLinkRefusal(*chip, *result.link, options.port, cart.Link().LinkMode()));
    return result;
  }
  // A link fast enough but pausing often cuts many loads, and every reload
  // is a program cycle more for its page: refused when it would be many,
  // said before the first erase when it will be some.
  std::uint64_t loads = 0;
  for (const UnitPlan& unit : plan.units)
    loads += unit.programs.size();
  if (loads != 0 && xchanger::CutLoadShare(*chip, *result.link) >= xchanger::kReloadRefuseShare) {
    result.outcome = JobOutcome::Failed(xchanger::LinkTooUnevenText(*chip, *result.link, loads));
    return result;
  }
  if (const std::string reloads = xchanger::ReloadText(*chip, *result.link, loads);
      loads != 0 && !reloads.empty()) {
    log(reloads);
  }

  // Only a write that will go ahead keeps a backup: a link refused above
  // leaves no file behind. A card that already holds the image loses
  // nothing: no backup of it.
  const bool changesCard = !std::equal(image.begin(), image.end(), old.begin());
  if (options.backup && changesCard) {
    try {
      const auto write = [&] {
        result.backupPath = KeepCardBackup(options.backupFolder, card.flashMbit, options.now, old);
      };
      if (options.asBackupOwner)
        options.asBackupOwner(write);
      else
        write();
    } catch (const fileio::FileError& e) {
      result.outcome = JobOutcome::Failed("Backup not written: " + BackupFailureText(e) +
                                          ". Nothing was erased.");
      return result;
    }
    log(kBackupSavedPrefix + result.backupPath);
  }
  if (options.priority != nullptr && !plan.units.empty()) {
    std::string why;
    if (!options.priority->Prepare(why))
      log(why);
  }

  const std::unique_ptr<xchanger::FlashDriver> driver =
      xchanger::MakeFlashDriver(*chip, cart, clock);
  driver->SetPageLoadPriority(options.priority);
  // The identification's probes send command sequences of the other two
  // families, which this chip may have taken as bad commands: its error
  // bits stay set until cleared, so every job starts from a cleared status
  // in read-array mode.
  driver->ResetToReadArray();
  std::vector<std::uint32_t> relock;
  result.outcome = CheckLocks(*driver, *chip, plan, options.unlock, relock);
  if (!relock.empty() && result.outcome.Ok())
    log("Unlocked for this write: " + UnitsText(*chip, relock) + ".");
  // The bytes read before the job and every read back after it: what the
  // data lines carried, weighed at the end.
  DataLineCheck lines;
  lines.SeeKnownAnswers(card);
  lines.SeeData(old);
  if (result.outcome.Ok()) {
    // 4-6. Erase, program, read back; a cancel stops after the step in hand.
    result.outcome =
        ExecuteWritePlan(*driver, cart, *chip, plan, old, target, control, progress, result, lines);
  }
  RelockUnits(*driver, *chip, relock, log, [&] { return NoLongerAnswers(cart, card, false); });
  if (result.reloadedLoads != 0) {
    log(std::to_string(result.reloadedLoads) +
        " page loads were cut by a pause of the link and loaded again.");
  }
  if (!result.outcome.Ok()) {
    driver->ResetToReadArray();
    // A link that dropped reads as a chip reporting errors or locks: say
    // what really happened.
    if (result.outcome.status == JobStatus::kFailed) {
      if (std::string gone = NoLongerAnswers(cart, card, false); !gone.empty())
        result.outcome.message = std::move(gone);
    }
    return result;
  }
  // 5. The whole image range has now been compared with the image, each
  // byte once after its last change, without a third read of the card:
  // - what the plan leaves alone was read twice at the start and found
  //   equal to the image (that is why the plan leaves it alone);
  // - every sector, block or page the job erased or programmed was read
  //   back whole right after its last change, blank pages of an erased
  //   sector included.
  // A final read of the whole range would cost half a card read again
  // for nothing the first two reads and the read-backs did not already say.
  //
  // But a read back proves the card only when the chip sent it: a link that
  // dropped, or a cart pulled out, reads 0xFF throughout, which is just what
  // a page of the image that is all 0xFF wants. So the chip must still
  // identify as the card, and the bytes read must have shown every data line
  // at both levels and no two lines alike, as a read of the card must.
  if (!plan.units.empty()) {
    std::string gone = NoLongerAnswers(cart, card, false);
    if (gone.empty())
      gone = lines.Fault();
    if (!gone.empty()) {
      result.outcome = JobOutcome::Failed(std::move(gone));
      return result;
    }
  }
  result.verified = true;
  return result;
}

std::string StoppedWriteText(const CardWriteResult& result, const std::string& backupShown) {
  std::string text =
      result.writtenBegin == result.writtenEnd
          ? "Nothing on the card was changed."
          : "Written: " + RangeText(result.writtenBegin, result.writtenEnd) + " of the card.";
  if (!result.backupPath.empty())
    text += " The backup " + backupShown + " holds the card as it was.";
  return text;
}

}  // namespace velwin::card
