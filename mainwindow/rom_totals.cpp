#include "mainwindow/rom_totals.h"

#include <optional>

namespace velwin::mainwindow {
namespace {

// Sizes enter the sums modulo 2^32, as a 32-bit register would take them.
std::uint32_t Bits(const std::optional<std::int64_t>& size) {
  return size ? static_cast<std::uint32_t>(*size) : 0u;
}

std::int32_t Wrap(std::uint32_t bits) {
  return static_cast<std::int32_t>(bits);
}

}  // namespace

void RomTotals::Add(const rom::RomAnalysis& analysis) {
  fileSize_ = Wrap(static_cast<std::uint32_t>(fileSize_) + Bits(analysis.fileSize));
  strippedSize_ = Wrap(static_cast<std::uint32_t>(strippedSize_) + Bits(analysis.strippedSize));
}

void RomTotals::Subtract(const rom::RomAnalysis& analysis) {
  fileSize_ = Wrap(static_cast<std::uint32_t>(fileSize_) - Bits(analysis.fileSize));
  strippedSize_ = Wrap(static_cast<std::uint32_t>(strippedSize_) - Bits(analysis.strippedSize));
}

void RomTotals::Clear() {
  fileSize_ = 0;
  strippedSize_ = 0;
}

}  // namespace velwin::mainwindow
