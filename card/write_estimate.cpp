#include "card/write_estimate.h"

#include <algorithm>
#include <cmath>

#include "card/card_write_job.h"
#include "card/write_weights.h"

namespace velwin::card {
namespace {

// What the job spends beyond the chip's own times and the bytes it loads
// and reads: command sequences, status polls, bank and address setup, each
// a few dozen port accesses an operation. On the simulator that comes to 5
// to 6 per cent of a write where every page differs (the write estimate
// bench); the margin keeps "up to" true there.
constexpr double kJobOverhead = 1.10;

bool AllErased(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

}  // namespace

double MostWriteSeconds(const xchanger::FlashChipSpec& chip, std::span<const std::uint8_t> image,
                        bool backup, std::uint8_t linkMode, const xchanger::LinkTiming& link) {
  // The weights count a port access as a microsecond: the measured access
  // time scales them to this link.
  const JobWeights weights = WriteWeights(chip, linkMode);
  // The pauses the timing saw, spread over every byte: over a whole job the
  // mean byte, not the median, sets the pace.
  double pauseUsPerByte = 0;
  if (link.bytesTimed != 0) {
    for (const double slow : link.slowestUs)
      pauseUsPerByte += std::max(0.0, slow - link.usPerByte);
    pauseUsPerByte /= static_cast<double>(link.bytesTimed);
  }
  const double slowdown =
      link.usPerByte > 0 ? (link.usPerByte + pauseUsPerByte) / link.usPerByte : 1.0;
  const double readUsPerByte = weights.readUsPerByte * link.usPerAccess * slowdown;
  const double loadUsPerByte = link.usPerByte + pauseUsPerByte;
  // A page load a pause cuts is loaded and programmed again.
  const double programs = 1.0 + xchanger::CutLoadShare(chip, link);
  double us =
      2.0 * static_cast<double>(BytesReadBeforeWrite(chip, image.size(), backup)) * readUsPerByte;
  const std::uint64_t unitBytes =
      chip.eraseUnitBytes != 0 ? chip.eraseUnitBytes : chip.programUnitBytes;
  const std::uint64_t end = std::min<std::uint64_t>(chip.sizeBytes, image.size());
  for (std::uint64_t unit = 0; unit < end; unit += unitBytes) {
    const std::uint64_t unitEnd = std::min<std::uint64_t>(unit + unitBytes, chip.sizeBytes);
    if (chip.eraseUnitBytes != 0)
      us += chip.eraseTypicalUs;
    for (std::uint64_t step = unit; step < unitEnd; step += chip.programUnitBytes) {
      const std::uint64_t stepEnd = std::min<std::uint64_t>(step + chip.programUnitBytes, unitEnd);
      // After an erase a page that the target leaves blank is skipped; past
      // the image's end the target is the old card, not known yet.
      const bool blank = chip.eraseUnitBytes != 0 && stepEnd <= image.size() &&
                         AllErased(image.subspan(step, stepEnd - step));
      if (!blank) {
        us += programs *
              (chip.programTypicalUs + static_cast<double>(stepEnd - step) * loadUsPerByte);
      }
    }
    us += static_cast<double>(unitEnd - unit) * readUsPerByte;
  }
  return kJobOverhead * us / 1e6;
}

std::string WriteTimeText(double seconds) {
  const auto whole = static_cast<std::uint64_t>(std::max(1.0, std::ceil(seconds)));
  std::string text;
  if (whole >= 60)
    text = std::to_string(whole / 60) + " min";
  if (whole % 60 != 0 || whole < 60)
    text += (text.empty() ? "" : " ") + std::to_string(whole % 60) + " s";
  return "Time: up to about " + text +
         " (the chip's typical erase and program times, over the link as timed just now).";
}

}  // namespace velwin::card
