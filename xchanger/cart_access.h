#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "xchanger/cart_header.h"
#include "xchanger/link.h"

namespace velwin::xchanger {

inline constexpr std::uint8_t kBankOutOfRange = 10;

// A code that a probe of IdentifyFlashCard looked for, and the byte it read
// where the code should be. A held or shorted data line shows there as a
// code that is almost right.
struct ProbeAnswer {
  std::uint8_t cardMbit;  // the card the probe looks for
  std::uint8_t expected;
  std::uint8_t read;
};

// Operations on the cart in the X-Changer: bank registers, flash
// identification, header and ROM bank reads, SRAM bank transfers. All data
// passes through the TransferBuffer. Expects a successful FindXChanger on
// the link first.
class CartAccess {
 public:
  using Buffer = std::array<std::uint8_t, 32768>;

  explicit CartAccess(XChangerLink& link);

  XChangerLink& Link() { return link_; }

  Buffer& TransferBuffer() { return buffer_; }
  const Buffer& TransferBuffer() const { return buffer_; }
  std::uint8_t CardSizeMbit() const { return cardSizeMbit_; }
  std::uint16_t CardBankCount() const { return cardBankCount_; }
  std::uint16_t SramBankLimit() const { return sramBankLimit_; }

  // Cart-bus operations.
  void SetCartAddress(std::uint16_t address);
  std::uint8_t ReadCartByte();
  void WriteCartByte(std::uint8_t value);
  void CartWrite(std::uint16_t address, std::uint8_t value);
  void FlashWriteCycle(std::uint8_t value);
  void FlashWriteAt(std::uint16_t address, std::uint8_t value);
  void FlashWriteLinear(std::uint32_t address, std::uint8_t value);
  void FlashWriteWord(std::uint16_t word, std::uint8_t value);
  void FlashResetWord();
  void SelectSramBank(std::uint8_t bank);
  void EnableSram();
  void UpdateSramBankLimit();

  // Used by the SRAM manager.
  std::uint8_t IdentifyFlashCard();
  // What the probes of the last IdentifyFlashCard read, in the order read.
  const std::vector<ProbeAnswer>& LastProbeAnswers() const { return probeAnswers_; }
  void ReadCartHeader(std::uint16_t bank, CartHeader& header);
  static bool CartHeaderValid(const CartHeader& header);
  void ReadMenuDirectory(std::uint16_t bank);
  // Whether the card identified last has this SRAM bank: a 4 Mbit card has
  // banks 0-3, every other card 0-15. Sends nothing.
  bool SramBankAvailable(std::uint8_t bank);
  std::uint8_t ReadSramBank(std::uint8_t bank);
  // Checks the bank against the limit of the card identified last, as the
  // read does, so a write never reaches a bank the card's mapper would wrap.
  std::uint8_t WriteSramBank(std::uint8_t bank);

 private:
  std::uint8_t ReadCartByteAt(std::uint16_t address);
  bool ProbeWinbond4Mbit();
  bool ProbeMacronix16Mbit();
  bool ProbeIntel64Mbit();
  void ReadRomBlocks(std::uint16_t bank, std::size_t blocks);
  void StartSramBlock(std::size_t block, std::uint8_t control);

  XChangerLink& link_;
  Buffer buffer_{};
  std::uint8_t cardSizeMbit_ = 0;
  std::uint16_t cardBankCount_ = 0;
  std::uint16_t sramBankLimit_ = 0;
  std::vector<ProbeAnswer> probeAnswers_;
  bool blockRunsCarry_ = true;  // until an X-Changer's latch is seen to stop at a block's end
};

}  // namespace velwin::xchanger
