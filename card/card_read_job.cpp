#include "card/card_read_job.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "card/data_line_check.h"
#include "fileio/atomic_file.h"
#include "gbheader/header_checksum.h"

namespace velwin::card {
namespace {

// A Game Boy refuses to start a cart whose header checksum does not match,
// so every real game cart carries it right.
std::string HeaderChecksumFault(std::span<const std::uint8_t> bank0) {
  using gbheader::kHeaderChecksumAt;
  const std::uint8_t sum = gbheader::HeaderChecksumOf(bank0);
  if (sum == bank0[kHeaderChecksumAt])
    return {};
  char text[160];
  std::snprintf(text, sizeof text,
                "The header checksum 0x%02X does not match the header (0x%02X): the cart was "
                "read wrong; clean the cart's contacts and try again.",
                bank0[kHeaderChecksumAt], sum);
  return text;
}

std::string UnstableText(std::uint32_t bank) {
  return "Read unstable: ROM bank " + std::to_string(bank) + " differs between two reads.";
}

std::uint32_t BanksFor(std::uint64_t bytes) {
  return static_cast<std::uint32_t>((bytes + kRomBankBytes - 1) / kRomBankBytes);
}

}  // namespace

JobOutcome ReadBanksTwice(xchanger::CartAccess& cart, JobControl& control, const BankReadPlan& plan,
                          const BankSink& sink) {
  JobProgress progress;
  progress.phase = plan.phase;
  progress.bytesDone = plan.bytesDoneBefore;
  progress.bytesToDo = plan.bytesToDo != 0
                           ? plan.bytesToDo
                           : plan.bytesDoneBefore + std::uint64_t{plan.bankCount} * kRomBankBytes;
  progress.unitCount = plan.bankCount;
  progress.weights = plan.weights;
  progress.workDone = plan.workDoneBefore;
  progress.workToDo = plan.workToDo;
  const auto& buffer = cart.TransferBuffer();
  const auto bankBegin = buffer.begin();
  const auto bankEnd = buffer.begin() + kRomBankBytes;
  std::vector<std::uint8_t> first(kRomBankBytes);
  std::string error;
  for (std::uint32_t bank = 0; bank < plan.bankCount; ++bank) {
    progress.bank = bank;
    progress.unit = bank + 1;
    if (!control.AtBankBoundary(progress))
      return JobOutcome::Cancelled();
    // The ROM block read sets both bank registers and reads bank 0 at
    // 0x0000, every other bank at 0x4000.
    cart.ReadMenuDirectory(static_cast<std::uint16_t>(bank));
    std::copy(bankBegin, bankEnd, first.begin());
    // A link that drops bits now and then rarely drops the same ones twice.
    cart.ReadMenuDirectory(static_cast<std::uint16_t>(bank));
    if (!std::equal(bankBegin, bankEnd, first.begin()))
      return JobOutcome::Failed(UnstableText(bank));
    if (!sink(bank, first, error))
      return JobOutcome::Failed(error);
    progress.bytesDone += kRomBankBytes;
    progress.AddRead(2 * kRomBankBytes);
  }
  // The boundary after the last bank: a cancel here still leaves nothing.
  if (!control.AtBankBoundary(progress))
    return JobOutcome::Cancelled();
  return JobOutcome::Done();
}

JobOutcome ReadCardBanks(xchanger::CartAccess& cart, const CardIdentity& card, JobControl& control,
                         const BankReadPlan& plan, const BankSink& sink) {
  DataLineCheck lines;
  lines.SeeKnownAnswers(card);
  std::string headerFault;
  const auto checked = [&](std::uint32_t bank, std::span<const std::uint8_t> bytes,
                           std::string& error) {
    lines.SeeData(bytes);
    if (bank == 0 && card.kind == CardKind::kGameCart)
      headerFault = HeaderChecksumFault(bytes);
    return sink(bank, bytes, error);
  };
  JobOutcome outcome = ReadBanksTwice(cart, control, plan, checked);
  if (outcome.status == JobStatus::kCancelled)
    return outcome;
  // A link that drops in the middle of a bank makes its two reads differ:
  // that is the link's doing, not an unstable read. (A cart that answers
  // otherwise after an unstable read keeps that message: a noisy link may
  // well garble the check too.)
  std::string gone = NoLongerAnswers(cart, card, true);
  if (!outcome.Ok() && gone != kXChangerStoppedAnswering)
    return outcome;
  if (!gone.empty())
    return JobOutcome::Failed(std::move(gone));
  if (std::string fault = lines.Fault(); !fault.empty())
    return JobOutcome::Failed(std::move(fault));
  if (!headerFault.empty())
    return JobOutcome::Failed(std::move(headerFault));
  return outcome;
}

JobOutcome ReadCardImage(xchanger::CartAccess& cart, const CardIdentity& card, std::uint64_t bytes,
                         std::vector<std::uint8_t>& image, JobControl& control) {
  if (!card.refusal.empty())
    return JobOutcome::Failed(card.refusal);
  bytes = std::min(bytes, card.Bytes());
  image.assign(bytes, 0);
  BankReadPlan plan;
  plan.bankCount = BanksFor(bytes);
  const auto keep = [&image](std::uint32_t bank, std::span<const std::uint8_t> read, std::string&) {
    const std::size_t offset = std::size_t{bank} * kRomBankBytes;
    const std::size_t count = std::min(read.size(), image.size() - offset);
    std::copy_n(read.begin(), count, image.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
  };
  JobOutcome outcome = ReadCardBanks(cart, card, control, plan, keep);
  if (!outcome.Ok())
    image.clear();
  return outcome;
}

JobOutcome ReadCardToFile(xchanger::CartAccess& cart, const CardIdentity& card,
                          const std::string& path, JobControl& control) {
  if (!card.refusal.empty())
    return JobOutcome::Failed(card.refusal);
  // An earlier file at path stays as it is until the new one is complete on
  // the disk; dropping the temporary file on any way out removes it. (Begin
  // also removes what a killed read of the same file left.)
  fileio::AtomicFile file = fileio::AtomicFile::Begin(path);
  BankReadPlan plan;
  plan.bankCount = card.bankCount;
  const auto write = [&file](std::uint32_t, std::span<const std::uint8_t> bytes, std::string&) {
    file.File().Write(bytes);
    return true;
  };
  JobOutcome outcome = ReadCardBanks(cart, card, control, plan, write);
  if (!outcome.Ok())
    return outcome;
  file.Commit();
  return outcome;
}

}  // namespace velwin::card
