#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "card/card_kind.h"
#include "card/job_progress.h"
#include "xchanger/cart_access.h"

namespace velwin::card {

// Which banks a read covers, and where they stand in a longer job (a write
// reads first, then erases and programs, all on one progress bar).
struct BankReadPlan {
  std::uint32_t bankCount = 0;
  JobPhase phase = JobPhase::kReading;
  std::uint64_t bytesDoneBefore = 0;
  std::uint64_t bytesToDo = 0;  // of the whole job; 0 means bankCount banks
  // In a job that weighs its steps: the work done before and to do in all,
  // with the weights by which each bank (read twice) adds to it.
  std::uint64_t workDoneBefore = 0;
  std::uint64_t workToDo = 0;
  JobWeights weights;
};

// Receives each bank once its two reads agree. Returning false ends the read
// as failed with the message it set.
using BankSink = std::function<bool(std::uint32_t bank, std::span<const std::uint8_t> bytes,
                                    std::string& error)>;

// Reads ROM banks 0 to bankCount - 1 with the ROM block read, bank 0 at
// 0x0000 and every other bank at 0x4000 through the bank registers. Every
// bank is read twice and trusted only when both reads agree; a difference
// fails with "Read unstable: ROM bank N differs between two reads.". Reports
// progress and honours a cancel at every bank boundary.
JobOutcome ReadBanksTwice(xchanger::CartAccess& cart, JobControl& control, const BankReadPlan& plan,
                          const BankSink& sink);

// ReadBanksTwice for a job that trusts what it read about card. After the
// last bank the cart must still answer as the same card (identification and
// the first 512 bytes of ROM bank 0), the data lines must have shown
// themselves sound (DataLineCheck) and, on a game cart whose bank 0 was read,
// the header checksum must match the header. Any of these failing fails the
// read with its reason, the link's drop named first as the likeliest cause.
JobOutcome ReadCardBanks(xchanger::CartAccess& cart, const CardIdentity& card, JobControl& control,
                         const BankReadPlan& plan, const BankSink& sink);

// The card's first `bytes` bytes into memory, read by ReadCardBanks.
JobOutcome ReadCardImage(xchanger::CartAccess& cart, const CardIdentity& card, std::uint64_t bytes,
                         std::vector<std::uint8_t>& image, JobControl& control);

// The whole card into a file that replaces the one at path only once it is
// complete and ReadCardBanks trusts it. Any failure or cancel leaves neither
// the file nor a temporary file, and an earlier file as it was. File errors
// throw fileio::FileError naming path.
JobOutcome ReadCardToFile(xchanger::CartAccess& cart, const CardIdentity& card,
                          const std::string& path, JobControl& control);

}  // namespace velwin::card
