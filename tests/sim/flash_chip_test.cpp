#include "sim/flash_chip.h"

#include <gtest/gtest.h>

#include <bit>
#include <set>
#include <vector>

#include "sim/simulated_xchanger.h"
#include "tests/sim/port_driver.h"
#include "tests/sim/sim_test_support.h"

namespace velwin::xchanger::sim {
namespace {

using testing::CartConfig;
using testing::PatternByte;
using testing::PatternRom;
using testing::PortDriver;

// One flash write: the ROM bank switched in first, then the command at a
// cart address.
struct Step {
  std::uint16_t bank;
  std::uint16_t address;
  std::uint8_t value;
};
using Sequence = std::vector<Step>;

const Sequence kJedecEntry = {{1, 0x5555, 0xAA}, {1, 0x2AAA, 0x55}, {1, 0x5555, 0x80},
                              {1, 0x5555, 0xAA}, {1, 0x2AAA, 0x55}, {1, 0x5555, 0x60}};
const Sequence kJedecExit = {{1, 0x5555, 0xAA}, {1, 0x2AAA, 0x55}, {1, 0x5555, 0xF0}};
// Word 0x5555 is byte 0xAAAA: bank 2 at 0x6AAA; word 0x2AAA is bank 1 at 0x5554.
const Sequence kWordAutoselect = {{2, 0x6AAA, 0xAA}, {1, 0x5554, 0x55}, {2, 0x6AAA, 0x90}};
const Sequence kWordReset = {{2, 0x6AAA, 0xAA}, {1, 0x5554, 0x55}, {2, 0x6AAA, 0xF0}};
const Sequence kCfiQuery = {{0, 0x0000, 0x98}};
const Sequence kReadArray = {{0, 0x0000, 0xFF}};
const Sequence kLoneReset = {{0, 0x1234, 0xF0}};

class FlashCard {
 public:
  explicit FlashCard(FlashChip chip) : sim_(CartConfig(chip, PatternRom(4))), port_(sim_, 0x378) {}

  void Send(const Sequence& steps) {
    for (const Step& step : steps) {
      port_.CartWrite(0x2000, static_cast<std::uint8_t>(step.bank & 0xFF));
      port_.CartWrite(0x3000, static_cast<std::uint8_t>(step.bank >> 8));
      port_.FlashCommand(step.address, step.value);
    }
  }
  Sequence With(Sequence steps, std::uint16_t bank) {
    for (Step& step : steps)
      step.bank = bank;
    return steps;
  }
  std::uint8_t Read(std::uint16_t address) { return port_.CartRead(address); }
  bool ReadsArray() { return Read(0x0000) == PatternByte(0, 0) && Read(2) == PatternByte(0, 2); }
  ChipMode Mode() const { return sim_.FlashMode(); }
  PortDriver& Port() { return port_; }

 private:
  SimulatedXChanger sim_;
  PortDriver port_;
};

TEST(FlashChipTable, EntriesAgreeWithTheirSizesAndTheQueryTable) {
  std::set<int> sizes;
  std::set<std::pair<int, int>> codes;
  for (const FlashChipInfo& chip : FlashChipTable()) {
    EXPECT_TRUE(sizes.insert(chip.sizeMbit).second);
    EXPECT_TRUE(codes.insert({chip.manufacturer, chip.device}).second);
    EXPECT_TRUE(std::has_single_bit(chip.bankCount));
    EXPECT_EQ(std::uint32_t{chip.bankCount} * kRomBankSize, std::uint32_t(chip.sizeMbit) << 17);
    EXPECT_EQ(FindFlashChip(chip.kind), &chip);
    EXPECT_EQ(FlashChipModel(chip.kind, {}).BankCount(), chip.bankCount);
  }
  EXPECT_EQ(sizes, (std::set<int>{4, 16, 64}));
  EXPECT_EQ(FindFlashChip(FlashChip::kNone), nullptr);

  const auto cfi = CfiQueryTable();
  const FlashChipInfo* intel = FindFlashChip(FlashChip::k64Mbit);
  ASSERT_GE(cfi.size(), 0x31u);
  EXPECT_EQ(cfi[0x00], intel->manufacturer);
  EXPECT_EQ(cfi[0x01], intel->device);
  EXPECT_EQ(std::string(cfi.begin() + 0x10, cfi.begin() + 0x13), "QRY");
  const std::uint64_t chipBytes = std::uint64_t{intel->bankCount} * kRomBankSize;
  EXPECT_EQ(std::uint64_t{1} << cfi[0x27], chipBytes);
  ASSERT_EQ(cfi[0x2C], 1) << "one erase block region";
  const std::uint64_t blocks = (cfi[0x2D] | cfi[0x2E] << 8) + 1;
  EXPECT_EQ(blocks * std::uint64_t(cfi[0x2F] | cfi[0x30] << 8) * 256, chipBytes);
}

// The probes run one after another on the same chip, as a cart reader sends
// them; each card must answer only its own.
TEST(Identification, EachCardAnswersOnlyItsOwnSequence) {
  struct Probe {
    const Sequence* entry;
    std::uint16_t secondAddress;
    std::uint8_t first, second;
  };
  const Probe jedec{&kJedecEntry, 0x0001, 0xDA, 0x46};
  const Probe word{&kWordAutoselect, 0x0002, 0xC2, 0xF1};
  const Probe cfi{&kCfiQuery, 0x0002, 0x89, 0x15};
  const std::pair<FlashChip, const Probe*> cards[] = {{FlashChip::k4Mbit, &jedec},
                                                      {FlashChip::k16Mbit, &word},
                                                      {FlashChip::k64Mbit, &cfi},
                                                      {FlashChip::kNone, nullptr}};
  for (const auto& [chip, own] : cards) {
    FlashCard card(chip);
    for (const Probe* probe : {&jedec, &word, &cfi}) {
      card.Send(*probe->entry);
      const bool answered =
          card.Read(0x0000) == probe->first && card.Read(probe->secondAddress) == probe->second;
      EXPECT_EQ(answered, probe == own) << static_cast<int>(chip) << " " << int{probe->first};
    }
    card.Send(kJedecExit);
    card.Send(kWordReset);
    card.Send(kReadArray);
    EXPECT_TRUE(card.ReadsArray());
  }
}

TEST(Identification, FourMbitChipDecodesFifteenAddressLines) {
  FlashCard card(FlashChip::k4Mbit);
  card.Send(kJedecEntry);
  EXPECT_EQ(card.Read(0x4001), 0x46) << "only A0 selects the code";
  card.Send(kJedecExit);
  EXPECT_TRUE(card.ReadsArray());
  card.Send(kJedecEntry);
  card.Send(kLoneReset);
  EXPECT_TRUE(card.ReadsArray());

  // Bank 3 puts cart 0x5555 at linear 0xD555: A15 is ignored, so it still
  // matches; bank 2 (linear 0x9555) sets A14 and does not.
  card.Send(card.With(kJedecEntry, 3));
  EXPECT_EQ(card.Mode(), ChipMode::kProductId);
  card.Send(kLoneReset);
  card.Send(card.With(kJedecEntry, 2));
  EXPECT_EQ(card.Mode(), ChipMode::kReadArray);

  // A three-write entry, a broken sequence, or mapper writes: no entry.
  card.Send({{1, 0x5555, 0xAA}, {1, 0x2AAA, 0x55}, {1, 0x5555, 0x90}});
  Sequence broken = kJedecEntry;
  broken[3].value = 0xAB;
  card.Send(broken);
  for (const Step& step : kJedecEntry)
    card.Port().CartWrite(step.address, step.value);
  EXPECT_EQ(card.Mode(), ChipMode::kReadArray);
}

TEST(Identification, SixteenMbitChipDecodesWordAddresses) {
  FlashCard card(FlashChip::k16Mbit);
  card.Send(kWordAutoselect);
  EXPECT_EQ(card.Read(0x0001), 0x00) << "upper half of word 0";
  card.Send(kWordReset);
  EXPECT_TRUE(card.ReadsArray());
  card.Send(kWordAutoselect);
  card.Send(kLoneReset);
  EXPECT_TRUE(card.ReadsArray());

  // Byte addresses 0x5555/0x2AAA are words 0x2AAA/0x1555 to this chip, and
  // the right cart address in the wrong bank is word 0x3555.
  card.Send({{1, 0x5555, 0xAA}, {0, 0x2AAA, 0x55}, {1, 0x5555, 0x90}});
  EXPECT_EQ(card.Mode(), ChipMode::kReadArray);
  card.Send(card.With(kWordAutoselect, 1));
  EXPECT_EQ(card.Mode(), ChipMode::kReadArray);
}

TEST(Identification, SixtyFourMbitChipServesTheQueryTableUntilReadArray) {
  FlashCard card(FlashChip::k64Mbit);
  card.Send(kCfiQuery);
  EXPECT_EQ(card.Read(0x0024), 'Y');
  EXPECT_EQ(card.Read(0x0021), 0x00) << "odd bytes are the empty upper half of a word";
  EXPECT_EQ(card.Read(0x004E), 0x17) << "device size 2^23 bytes";
  EXPECT_EQ(card.Read(0x0080), 0x00) << "beyond the table";
  card.Send(kLoneReset);
  EXPECT_EQ(card.Mode(), ChipMode::kCfiQuery) << "F0 is no command of this part";
  card.Send(kReadArray);
  EXPECT_TRUE(card.ReadsArray());

  card.Send({{0, 0x0000, 0x20}, {0, 0x0000, 0x55}});  // erase setup without its confirm
  EXPECT_EQ(card.Read(0x0000), 0xB0) << "status: command sequence error";
  card.Send(kReadArray);
  EXPECT_TRUE(card.ReadsArray());
}

}  // namespace
}  // namespace velwin::xchanger::sim
