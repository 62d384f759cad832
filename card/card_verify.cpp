#include "card/card_verify.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "card/card_read_job.h"
#include "fileio/byte_file.h"

namespace velwin::card {
namespace {

std::string HexOffset(std::uint64_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%06llX", static_cast<unsigned long long>(offset));
  return text;
}

}  // namespace

VerifyResult VerifyCardWithFile(xchanger::CartAccess& cart, const CardIdentity& card,
                                const std::string& path, JobControl& control) {
  VerifyResult result;
  if (!card.refusal.empty()) {
    result.outcome = JobOutcome::Failed(card.refusal);
    return result;
  }
  fileio::ByteFile file = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
  const auto size = static_cast<std::uint64_t>(file.Size());
  result.bytes = size;
  if (size == 0) {
    result.outcome = JobOutcome::Failed("File is empty: nothing to compare");
    return result;
  }
  if (size > card.Bytes()) {
    result.outcome =
        JobOutcome::Failed("File is " + std::to_string(size) + " bytes, larger than the " +
                           std::to_string(card.Bytes()) + " bytes of the card");
    return result;
  }

  BankReadPlan plan;
  plan.phase = JobPhase::kComparing;
  plan.bankCount = static_cast<std::uint32_t>((size + kRomBankBytes - 1) / kRomBankBytes);
  std::vector<std::uint8_t> expected(kRomBankBytes);
  const auto compare = [&](std::uint32_t bank, std::span<const std::uint8_t> read,
                           std::string& error) {
    const std::uint64_t offset = std::uint64_t{bank} * kRomBankBytes;
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(read.size(), size - offset));
    const auto want = std::span<std::uint8_t>(expected).first(count);
    if (file.ReadAt(static_cast<std::int64_t>(offset), want) != count) {
      error = "File grew shorter while it was compared";
      return false;
    }
    const auto [at, unused] = std::mismatch(want.begin(), want.end(), read.begin());
    if (at != want.end()) {
      if (result.banksDiffering == 0) {
        result.firstDifference = offset + static_cast<std::uint64_t>(at - want.begin());
        result.firstDifferingBank = bank;
      }
      ++result.banksDiffering;
    }
    return true;
  };
  result.outcome = ReadCardBanks(cart, card, control, plan, compare);
  return result;
}

std::string VerifyResultText(const VerifyResult& result, const std::string& fileName) {
  if (!result.outcome.Ok())
    return {};
  if (result.banksDiffering == 0)
    return "Card matches " + fileName + " (" + std::to_string(result.bytes) + " bytes).";
  return "Card differs from " + fileName + ": first at " + HexOffset(result.firstDifference) +
         " (bank " + std::to_string(result.firstDifferingBank) + "), " +
         std::to_string(result.banksDiffering) +
         (result.banksDiffering == 1 ? " bank differs." : " banks differ.");
}

}  // namespace velwin::card
