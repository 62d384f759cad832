#include "card/write_precheck.h"

#include <algorithm>
#include <memory>

#include "card/card_listing.h"
#include "card/data_line_check.h"
#include "card/write_estimate.h"
#include "card/write_execution.h"
#include "chips/flash_driver.h"
#include "chips/link_timing.h"

namespace velwin::card {
namespace {

constexpr const char* kNotWritable =
    "No flash card identified: only the 4, 16 and 64 Mbit cards can be written.";

// Whether the image changes the unit at address: the bytes past the image's
// end stay as they are, so only the part the image covers is compared. One
// read is enough here: a misread only moves the refusal to the job, which
// checks again on the card as read twice.
bool ImageChanges(xchanger::CartAccess& cart, std::uint32_t address, std::uint32_t length,
                  std::span<const std::uint8_t> image) {
  std::vector<std::uint8_t> held(kRomBankBytes);
  const std::uint32_t end =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(address + length, image.size()));
  for (std::uint32_t at = address; at < end;) {
    // ReadFlashRange stays within one bank.
    const std::uint32_t count = std::min(end - at, kRomBankBytes - at % kRomBankBytes);
    const std::span<std::uint8_t> bytes(held.data(), count);
    xchanger::ReadFlashRange(cart, at, bytes);
    if (!std::equal(bytes.begin(), bytes.end(), image.begin() + at))
      return true;
    at += count;
  }
  return false;
}

}  // namespace

std::string LockedUnitRefusal(const xchanger::FlashChipSpec& chip, std::uint32_t unit,
                              std::string_view howToUnlock) {
  const std::string where = "Cannot write " + UnitText(chip, unit);
  switch (chip.family) {
    case xchanger::FlashFamily::kWinbondPageWrite:
      return where + ": it lies in a boot block that is locked for good. Nothing was erased.";
    case xchanger::FlashFamily::kMacronixSectorFlash:
      return where + ": it is protected, and only a programmer can lift that.";
    case xchanger::FlashFamily::kIntelBlockFlash:
      break;
  }
  return where + ": it is locked. Nothing was erased; " + std::string(howToUnlock) +
         " clears the lock bits.";
}

WriteCheck CheckWrite(xchanger::CartAccess& cart, xchanger::ChipClock& clock,
                      std::span<const std::uint8_t> image) {
  WriteCheck check;
  CardIdentification identified = IdentifyCard(cart);
  if (!identified.card) {
    check.refusal = identified.error;
    return check;
  }
  check.card = std::move(identified.card);
  const CardIdentity& card = *check.card;
  const xchanger::FlashChipSpec* chip =
      card.kind == CardKind::kFlashCard ? xchanger::FlashChipForCard(card.flashMbit) : nullptr;
  if (chip == nullptr) {
    check.refusal = kNotWritable;
    return check;
  }
  check.chip = chip;
  if (image.empty() || image.size() > chip->sizeBytes) {
    check.refusal = "The image is " + std::to_string(image.size()) + " bytes; the " +
                    std::to_string(card.flashMbit) + " Mbit card takes 1 to " +
                    std::to_string(chip->sizeBytes) + " bytes. Nothing was written.";
    return check;
  }

  const std::unique_ptr<xchanger::FlashDriver> driver =
      xchanger::MakeFlashDriver(*chip, cart, clock);
  // The identification's probes may have left the chip answering its
  // status or with error bits set: the query starts from read-array mode.
  driver->ResetToReadArray();
  const std::uint32_t unitBytes =
      chip->eraseUnitBytes != 0 ? chip->eraseUnitBytes : chip->programUnitBytes;
  for (std::uint32_t unit = 0; unit < image.size(); unit += unitBytes) {
    if (driver->UnitLocked(unit) && ImageChanges(cart, unit, unitBytes, image))
      check.lockedUnits.push_back(unit);
  }
  driver->ResetToReadArray();
  if (check.lockedUnits.empty())
    return check;
  // A bus nobody drives reads as every lock bit set: a dropped link or a
  // pulled cart is named as what it is, not as a lock.
  if (std::string gone = NoLongerAnswers(cart, card, true); !gone.empty()) {
    check.lockedUnits.clear();
    check.refusal = std::move(gone);
    return check;
  }
  // A data line held at 1 reads a lock bit that is not set. The lock is
  // trusted here only over lines the chip's answers and bank 0 proved
  // sound; otherwise the job's read of the whole card names the line, and
  // its own lock check follows that read.
  DataLineCheck lines;
  lines.SeeKnownAnswers(card);
  lines.SeeData(card.head);
  if (!lines.Fault().empty()) {
    check.lockedUnits.clear();
    return check;
  }
  if (chip->family != xchanger::FlashFamily::kIntelBlockFlash)
    check.refusal = LockedUnitRefusal(*chip, check.lockedUnits.front(), {});
  return check;
}

WritePreview PreviewWrite(xchanger::CartAccess& cart, xchanger::ChipClock& clock,
                          const WriteCheck& check, std::span<const std::uint8_t> image, bool backup,
                          bool imageIsBackup, xchanger::EventPump& pump) {
  WritePreview preview;
  WriteSubject& subject = preview.subject;
  subject.card = ListCard(cart, *check.card, pump);
  subject.image = ListImage(image, check.card->flashMbit);
  subject.imageBytes = image.size();
  subject.cardBytes = check.chip->sizeBytes;
  subject.backup = imageIsBackup;
  const xchanger::LinkTiming link = xchanger::TimeLink(cart.Link(), clock);
  preview.timeText =
      WriteTimeText(MostWriteSeconds(*check.chip, image, backup, cart.Link().LinkMode(), link));
  return preview;
}

}  // namespace velwin::card
