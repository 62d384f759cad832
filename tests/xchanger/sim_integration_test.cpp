#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "gbheader/header_logo.h"
#include "xchanger/cart_access.h"
#include "xchanger/port_backend.h"
#include "xchanger/sim/simulated_xchanger.h"

namespace velwin::xchanger {
namespace {

using sim::FlashChip;
using sim::LinkModes;
using sim::SimConfig;
using sim::SimulatedXChanger;

constexpr std::size_t kBank = 0x4000;

// A card image whose every bank carries a valid header with the bank's
// number in its title, and a byte pattern that differs from bank to bank.
std::vector<std::uint8_t> CardImage(std::size_t banks) {
  std::vector<std::uint8_t> rom(banks * kBank);
  for (std::size_t i = 0; i < rom.size(); ++i) {
    rom[i] = static_cast<std::uint8_t>(i * 31 + i / kBank);
  }
  for (std::size_t bank = 0; bank < banks; ++bank) {
    const auto header = rom.begin() + static_cast<std::ptrdiff_t>(bank * kBank);
    std::ranges::copy(gbheader::HeaderLogo, header + 0x104);
    const std::string title = "BANK" + std::to_string(bank);
    std::fill(header + 0x134, header + 0x142, 0);
    std::ranges::copy(title, header + 0x134);
  }
  return rom;
}

struct Card {
  FlashChip chip;
  std::uint8_t mbit;
  std::size_t banks;
  std::size_t sramBanks;
};

std::string Name(FlashChip chip) {
  switch (chip) {
    case FlashChip::k4Mbit:
      return "Card4";
    case FlashChip::k16Mbit:
      return "Card16";
    case FlashChip::k64Mbit:
      return "Card64";
    default:
      return "NoCard";
  }
}

class Simulation : public ::testing::TestWithParam<std::tuple<Card, std::uint8_t>> {
 protected:
  void SetUp() override {
    const auto& [card, mode] = GetParam();
    card_ = card;
    SimConfig config;
    config.hasCart = card.chip != FlashChip::kNone;
    if (config.hasCart) {
      config.card = card.chip;
      config.rom = CardImage(card.banks);
      rom_ = config.rom;
      config.sram.assign(card.sramBanks * 0x2000, 0x00);
    }
    config.modes = mode == kLinkModeEpp ? LinkModes::kEppOnly : LinkModes::kSppOnly;
    sim_ = std::make_unique<SimulatedXChanger>(std::move(config));
    link_ = std::make_unique<XChangerLink>(*sim_, ticks_, pump_);
    access_ = std::make_unique<CartAccess>(*link_);
    ASSERT_TRUE(link_->FindXChanger());
    ASSERT_EQ(link_->LinkMode(), mode);
  }

  Card card_{};
  std::vector<std::uint8_t> rom_;
  std::unique_ptr<SimulatedXChanger> sim_;
  SteadyTickCounter ticks_;
  NoEventPump pump_;
  std::unique_ptr<XChangerLink> link_;
  std::unique_ptr<CartAccess> access_;
};

TEST_P(Simulation, IdentifiesTheCardAndReadsItsHeadersAndBanks) {
  EXPECT_EQ(access_->IdentifyFlashCard(), card_.mbit);
  EXPECT_EQ(access_->CardBankCount(), card_.mbit == 0 ? 0 : card_.banks);

  CartHeader header;
  access_->ReadCartHeader(0, header);
  if (card_.chip == FlashChip::kNone) {
    EXPECT_FALSE(CartAccess::CartHeaderValid(header));
    EXPECT_EQ(header.Title, std::string(14, '\xFF'));
    return;
  }
  EXPECT_TRUE(CartAccess::CartHeaderValid(header));
  EXPECT_EQ(header.Title, "BANK0         ");

  const auto last = static_cast<std::uint16_t>(card_.banks - 1);
  access_->ReadCartHeader(last, header);
  EXPECT_EQ(header.Title.substr(0, 4 + std::to_string(last).size()), "BANK" + std::to_string(last));
  EXPECT_TRUE(std::equal(rom_.begin() + static_cast<std::ptrdiff_t>(last * kBank),
                         rom_.begin() + static_cast<std::ptrdiff_t>(last * kBank + 512),
                         access_->TransferBuffer().begin()));

  access_->ReadMenuDirectory(1);
  EXPECT_TRUE(std::equal(rom_.begin() + kBank, rom_.begin() + 2 * kBank,
                         access_->TransferBuffer().begin()));
}

TEST_P(Simulation, SramSurvivesARoundTripAndStaysInsideTheCard) {
  access_->IdentifyFlashCard();
  if (card_.chip == FlashChip::kNone) {
    // Nothing answers: the read gives an open bus and nothing is stored.
    EXPECT_EQ(access_->ReadSramBank(0), 0);
    EXPECT_EQ(std::count(access_->TransferBuffer().begin(),
                         access_->TransferBuffer().begin() + 0x2000, 0xFF),
              0x2000);
    return;
  }
  const auto lastBank = static_cast<std::uint8_t>(card_.sramBanks - 1);
  auto& buffer = access_->TransferBuffer();
  for (std::size_t i = 0; i < 0x2000; ++i) {
    buffer[i] = static_cast<std::uint8_t>(i ^ (i >> 8) ^ 0xA5);
  }
  const std::vector<std::uint8_t> sent(buffer.begin(), buffer.begin() + 0x2000);
  ASSERT_EQ(access_->WriteSramBank(lastBank), 0);
  const auto sram = sim_->Sram();
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), sram.begin() + lastBank * 0x2000));
  EXPECT_EQ(std::count(sram.begin(), sram.begin() + lastBank * 0x2000, 0), lastBank * 0x2000);

  std::fill(buffer.begin(), buffer.end(), 0);
  ASSERT_EQ(access_->ReadSramBank(lastBank), 0);
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), buffer.begin()));

  const auto before = sim_->Counters();
  EXPECT_EQ(access_->WriteSramBank(static_cast<std::uint8_t>(lastBank + 1)), kBankOutOfRange);
  EXPECT_EQ(access_->ReadSramBank(static_cast<std::uint8_t>(lastBank + 1)), kBankOutOfRange);
  EXPECT_EQ(sim_->Counters().writes, before.writes);
  EXPECT_EQ(sim_->Counters().reads, before.reads);
}

INSTANTIATE_TEST_SUITE_P(AllCards, Simulation,
                         ::testing::Combine(::testing::Values(Card{FlashChip::k4Mbit, 4, 32, 4},
                                                              Card{FlashChip::k16Mbit, 16, 128, 16},
                                                              Card{FlashChip::k64Mbit, 64, 512, 16},
                                                              Card{FlashChip::kNone, 0, 0, 0}),
                                            ::testing::Values(kLinkModeEpp, kLinkModeSpp)),
                         [](const ::testing::TestParamInfo<std::tuple<Card, std::uint8_t>>& which) {
                           return Name(std::get<0>(which.param).chip) +
                                  (std::get<1>(which.param) == kLinkModeEpp ? "Epp" : "Spp");
                         });

TEST(SimulatedDetection, SecondPortBehindAnEchoingDevice) {
  SimConfig config;
  config.lpt = 2;
  config.otherEcho = true;
  SimulatedXChanger sim(std::move(config));
  SteadyTickCounter ticks;
  NoEventPump pump;
  XChangerLink link(sim, ticks, pump);
  EXPECT_TRUE(link.FindXChanger());
  EXPECT_EQ(link.Ports().DataPort, sim::kLpt2Base);
  EXPECT_EQ(link.LinkMode(), kLinkModeEpp);
}

TEST(SimulatedDetection, NoXChangerLeavesTheSecondPortInSpp) {
  SimConfig config;
  config.lpt = 0;
  SimulatedXChanger sim(std::move(config));
  SteadyTickCounter ticks;
  NoEventPump pump;
  XChangerLink link(sim, ticks, pump);
  EXPECT_FALSE(link.FindXChanger());
  EXPECT_EQ(link.LinkMode(), kLinkModeSpp);
  EXPECT_EQ(link.Ports().DataPort, sim::kLpt2Base);
}

// The whole path a user takes: a description string, files on disk, and the
// SRAM written back when the backend closes.
TEST(SimulatedBackend, OpensFromItsDescriptionAndWritesTheSramBack) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("velwin-link-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const auto rom = CardImage(128);
  std::ofstream(dir / "card.gb", std::ios::binary)
      .write(reinterpret_cast<const char*>(rom.data()), static_cast<std::streamsize>(rom.size()));
  {
    std::string error;
    auto backend = OpenPortBackend("sim:rom=" + (dir / "card.gb").string() + ",sram=" +
                                       (dir / "card.sav").string() + ",card=16,modes=spp",
                                   error);
    ASSERT_TRUE(backend) << error;
    SteadyTickCounter ticks;
    NoEventPump pump;
    XChangerLink link(*backend, ticks, pump);
    CartAccess access(link);
    ASSERT_TRUE(link.FindXChanger());
    EXPECT_EQ(link.LinkMode(), kLinkModeSpp);
    ASSERT_EQ(access.IdentifyFlashCard(), 16);
    std::fill(access.TransferBuffer().begin(), access.TransferBuffer().end(), 0x3C);
    ASSERT_EQ(access.WriteSramBank(1), 0);
    ASSERT_TRUE(backend->Flush(error)) << error;
  }
  std::ifstream saved(dir / "card.sav", std::ios::binary);
  const std::vector<std::uint8_t> sram((std::istreambuf_iterator<char>(saved)),
                                       std::istreambuf_iterator<char>());
  ASSERT_GE(sram.size(), 0x4000u);
  EXPECT_EQ(std::count(sram.begin() + 0x2000, sram.begin() + 0x4000, 0x3C), 0x2000);
  EXPECT_EQ(std::count(sram.begin(), sram.begin() + 0x2000, 0x3C), 0);
  fs::remove_all(dir);

  std::string error;
  EXPECT_FALSE(OpenPortBackend("sim:card=17", error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace velwin::xchanger
