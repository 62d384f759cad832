#include <gtest/gtest.h>

#include <bit>
#include <set>
#include <vector>

#include "tests/simulator/port_driver.h"
#include "tests/simulator/sim_test_support.h"
#include "xchanger/sim/flash_chip.h"
#include "xchanger/sim/simulated_xchanger.h"

namespace velwin::xchanger::sim {
namespace {

using testing::CartConfig;
using testing::PatternByte;
using testing::PatternRom;
using testing::PortDriver;

// One write of an identification sequence: the ROM bank switched in first
// (through 0x2000 and 0x3000), then the command at a cart address.
struct Step {
  std::uint16_t bank;
  std::uint16_t address;
  std::uint8_t value;
};

// The six-write JEDEC product identification entry, at power-on bank 1.
const std::vector<Step> kJedecEntry = {{1, 0x5555, 0xAA}, {1, 0x2AAA, 0x55}, {1, 0x5555, 0x80},
                                       {1, 0x5555, 0xAA}, {1, 0x2AAA, 0x55}, {1, 0x5555, 0x60}};
const std::vector<Step> kJedecExit = {{1, 0x5555, 0xAA}, {1, 0x2AAA, 0x55}, {1, 0x5555, 0xF0}};
// Word 0x5555 is byte 0xAAAA: bank 2, cart 0x6AAA; word 0x2AAA is byte
// 0x5554: bank 1, cart 0x5554.
const std::vector<Step> kWordAutoselect = {{2, 0x6AAA, 0xAA}, {1, 0x5554, 0x55}, {2, 0x6AAA, 0x90}};
const std::vector<Step> kWordReset = {{2, 0x6AAA, 0xAA}, {1, 0x5554, 0x55}, {2, 0x6AAA, 0xF0}};
const std::vector<Step> kCfiQuery = {{0, 0x0000, 0x98}};
const std::vector<Step> kReadArray = {{0, 0x0000, 0xFF}};

class FlashCard {
 public:
  FlashCard(FlashChip chip, std::size_t romBanks = 4)
      : sim_(CartConfig(chip, PatternRom(romBanks))), port_(sim_, 0x378) {}

  void Send(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      port_.CartWrite(0x2000, static_cast<std::uint8_t>(step.bank & 0xFF));
      port_.CartWrite(0x3000, static_cast<std::uint8_t>(step.bank >> 8));
      port_.FlashCommand(step.address, step.value);
    }
  }
  std::uint8_t Read(std::uint16_t address) { return port_.CartRead(address); }
  SimulatedXChanger& Sim() { return sim_; }

 private:
  SimulatedXChanger sim_;
  PortDriver port_;
};

TEST(FlashChipTable, EntriesAgreeWithTheirSizesAndWithTheQueryTable) {
  std::set<int> sizes;
  std::set<std::pair<int, int>> codes;
  for (const FlashChipInfo& chip : FlashChipTable()) {
    SCOPED_TRACE(chip.sizeMbit);
    EXPECT_TRUE(sizes.insert(chip.sizeMbit).second);
    EXPECT_TRUE(codes.insert({chip.manufacturer, chip.device}).second);
    EXPECT_TRUE(std::has_single_bit(chip.bankCount));
    EXPECT_EQ(std::uint32_t{chip.bankCount} * kRomBankSize, std::uint32_t(chip.sizeMbit) << 17);
    EXPECT_EQ(FindFlashChip(chip.kind), &chip);
    EXPECT_EQ(FlashChipModel(chip.kind, {}).SizeBytes(),
              std::uint32_t{chip.bankCount} * kRomBankSize);
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
  const std::uint64_t blockBytes = std::uint64_t(cfi[0x2F] | cfi[0x30] << 8) * 256;
  EXPECT_EQ(blocks * blockBytes, chipBytes);
}

TEST(FlashChipModel, ContentsAreTheImagePaddedWithErasedBytes) {
  const std::vector<std::uint8_t> image = {1, 2, 3};
  FlashChipModel flash(FlashChip::k4Mbit, image);
  EXPECT_EQ(flash.Read(2), 3);
  EXPECT_EQ(flash.Read(3), 0xFF);
  EXPECT_EQ(flash.Read(flash.SizeBytes() - 1), 0xFF);

  // A mask ROM is as large as the next power of two of its image.
  EXPECT_EQ(
      FlashChipModel(FlashChip::kNone, std::vector<std::uint8_t>(3 * kRomBankSize)).BankCount(),
      4u);
  EXPECT_EQ(FlashChipModel(FlashChip::kNone, image).BankCount(), 2u);
  EXPECT_EQ(
      FlashChipModel(FlashChip::kNone, std::vector<std::uint8_t>(kMaskRomMaxBytes)).BankCount(),
      512u);
}

TEST(Identification, FourMbitChipAnswersTheSixWriteEntryAndLeavesOnExit) {
  FlashCard card(FlashChip::k4Mbit);
  card.Send(kJedecEntry);
  EXPECT_EQ(card.Sim().FlashMode(), ChipMode::kProductId);
  EXPECT_EQ(card.Read(0x0000), 0xDA);
  EXPECT_EQ(card.Read(0x0001), 0x46);
  card.Send(kJedecExit);
  EXPECT_EQ(card.Read(0x0000), PatternByte(0, 0));
  EXPECT_EQ(card.Read(0x0001), PatternByte(0, 1));

  card.Send(kJedecEntry);
  card.Send({{1, 0x1234, 0xF0}});  // a lone F0 resets as well
  EXPECT_EQ(card.Read(0x0000), PatternByte(0, 0));
}

TEST(Identification, FourMbitChipIgnoresSequencesItDoesNotDecode) {
  FlashCard card(FlashChip::k4Mbit);
  // The three-write entry of other JEDEC parts is not this chip's.
  card.Send({{1, 0x5555, 0xAA}, {1, 0x2AAA, 0x55}, {1, 0x5555, 0x90}});
  EXPECT_EQ(card.Read(0x0000), PatternByte(0, 0));

  // With bank 2 switched in, cart 0x5555 is linear 0x9555: A14 is set and
  // the unlock address no longer matches.
  std::vector<Step> wrongBank = kJedecEntry;
  for (Step& step : wrongBank)
    step.bank = 2;
  card.Send(wrongBank);
  EXPECT_EQ(card.Sim().FlashMode(), ChipMode::kReadArray);

  // A wrong write in the middle restarts the sequence.
  std::vector<Step> broken = kJedecEntry;
  broken[3].value = 0xAB;
  card.Send(broken);
  EXPECT_EQ(card.Read(0x0000), PatternByte(0, 0));

  // Mapper-mode writes never reach the flash chip.
  PortDriver port(card.Sim(), 0x378);
  for (const Step& step : kJedecEntry)
    port.CartWrite(step.address, step.value);
  EXPECT_EQ(card.Sim().FlashMode(), ChipMode::kReadArray);
}

TEST(Identification, SixteenMbitChipDecodesWordAddresses) {
  FlashCard card(FlashChip::k16Mbit);
  card.Send(kWordAutoselect);
  EXPECT_EQ(card.Read(0x0000), 0xC2);
  EXPECT_EQ(card.Read(0x0001), 0x00);
  EXPECT_EQ(card.Read(0x0002), 0xF1);
  card.Send(kWordReset);
  EXPECT_EQ(card.Read(0x0000), PatternByte(0, 0));
  EXPECT_EQ(card.Read(0x0002), PatternByte(0, 2));

  card.Send(kWordAutoselect);
  card.Send({{0, 0x0000, 0xF0}});
  EXPECT_EQ(card.Sim().FlashMode(), ChipMode::kReadArray);

  // Byte addresses 0x5555/0x2AAA are words 0x2AAA/0x1555 to this chip.
  card.Send({{1, 0x5555, 0xAA}, {0, 0x2AAA, 0x55}, {1, 0x5555, 0x90}});
  EXPECT_EQ(card.Read(0x0000), PatternByte(0, 0));
  // The right cart address in the wrong bank: word 0x3555, not 0x5555.
  card.Send({{1, 0x6AAA, 0xAA}, {1, 0x5554, 0x55}, {1, 0x6AAA, 0x90}});
  EXPECT_EQ(card.Sim().FlashMode(), ChipMode::kReadArray);
}

TEST(Identification, SixtyFourMbitChipAnswersTheQueryTable) {
  FlashCard card(FlashChip::k64Mbit);
  card.Send(kCfiQuery);
  EXPECT_EQ(card.Read(0x0000), 0x89);
  EXPECT_EQ(card.Read(0x0002), 0x15);
  EXPECT_EQ(card.Read(0x0020), 'Q');
  EXPECT_EQ(card.Read(0x0022), 'R');
  EXPECT_EQ(card.Read(0x0024), 'Y');
  EXPECT_EQ(card.Read(0x0021), 0x00) << "odd bytes are the empty upper half of each word";
  EXPECT_EQ(card.Read(0x004E), 0x17) << "device size 2^23 bytes";
  EXPECT_EQ(card.Read(0x0080), 0x00) << "beyond the table";
  card.Send(kReadArray);
  EXPECT_EQ(card.Read(0x0000), PatternByte(0, 0));
  EXPECT_EQ(card.Read(0x0020), PatternByte(0, 0x20));
}

// Every card must answer only its own sequence, whatever came before: the
// probes run one after another on the same chip.
TEST(Identification, EachCardAnswersOnlyItsOwnSequence) {
  struct Probe {
    const std::vector<Step>* entry;
    std::uint16_t secondAddress;
    std::uint8_t first;
    std::uint8_t second;
  };
  const Probe jedec{&kJedecEntry, 0x0001, 0xDA, 0x46};
  const Probe word{&kWordAutoselect, 0x0002, 0xC2, 0xF1};
  const Probe cfi{&kCfiQuery, 0x0002, 0x89, 0x15};
  const struct {
    FlashChip chip;
    const Probe* answers;
  } cards[] = {{FlashChip::k4Mbit, &jedec},
               {FlashChip::k16Mbit, &word},
               {FlashChip::k64Mbit, &cfi},
               {FlashChip::kNone, nullptr}};
  for (const auto& c : cards) {
    FlashCard card(c.chip);
    for (const Probe* probe : {&jedec, &word, &cfi}) {
      card.Send(*probe->entry);
      const bool answered =
          card.Read(0x0000) == probe->first && card.Read(probe->secondAddress) == probe->second;
      EXPECT_EQ(answered, probe == c.answers)
          << "card " << static_cast<int>(c.chip) << ", probe for " << int{probe->first};
    }
    card.Send(kJedecExit);
    card.Send(kWordReset);
    card.Send(kReadArray);
    EXPECT_EQ(card.Read(0x0003), PatternByte(0, 3));
  }
}

TEST(Identification, IntelStatusModeReportsABrokenCommandSequence) {
  FlashCard card(FlashChip::k64Mbit);
  card.Send({{0, 0x0000, 0x20}, {0, 0x0000, 0x55}});  // erase setup without D0
  EXPECT_EQ(card.Sim().FlashMode(), ChipMode::kStatus);
  EXPECT_EQ(card.Read(0x0000), 0xB0);
  card.Send({{0, 0x0000, 0x50}});
  EXPECT_EQ(card.Read(0x0000), 0x80);
  card.Send({{0, 0x0000, 0x40}, {0, 0x0010, 0x00}});  // program: the array stays
  card.Send(kReadArray);
  EXPECT_EQ(card.Read(0x0010), PatternByte(0, 0x10));
}

}  // namespace
}  // namespace velwin::xchanger::sim
