#include "port/ppdev_port.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <linux/parport.h>
#include <linux/ppdev.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <numeric>
#include <set>
#include <vector>

#include "sim/simulated_xchanger.h"
#include "tests/port/kernel_over_simulator.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

namespace velwin::xchanger {
namespace {

// One system call as the backend made it.
struct Call {
  std::string what;  // "open", "close", "ioctl", "read", "write"
  int fd = -1;
  unsigned long request = 0;
  int value = -1;

  bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Call& call) {
  return out << call.what << " fd" << call.fd << " req " << std::hex << call.request << " v "
             << call.value;
}

// Stands in for the kernel: devices that exist, open errors to give, and
// bytes that reads and status ioctls return.
class FakePpdev : public PpdevSystem {
 public:
  bool Exists(const std::string& path) override { return devices.count(path) != 0; }
  int Open(const std::string& path) override {
    if (auto failure = openErrors.find(path); failure != openErrors.end()) {
      return -failure->second;
    }
    if (devices.count(path) == 0) {
      return -ENOENT;
    }
    const int fd = nextFd++;
    paths[fd] = path;
    calls->push_back({"open", fd, 0, -1});
    return fd;
  }
  void Close(int fd) override { calls->push_back({"close", fd, 0, -1}); }
  int Ioctl(int fd, unsigned long request) override {
    calls->push_back({"ioctl", fd, request, -1});
    if (request == PPEXCL)
      exclusive.insert(fd);
    if (request == PPCLAIM && exclusive.count(fd) != 0 && exclusiveError != 0)
      return -exclusiveError;
    return request == PPCLAIM && claimError != 0 ? -claimError : 0;
  }
  int IoctlSetInt(int fd, unsigned long request, int value) override {
    calls->push_back({"ioctl", fd, request, value});
    return 0;
  }
  int IoctlSetByte(int fd, unsigned long request, std::uint8_t value) override {
    calls->push_back({"ioctl", fd, request, value});
    return 0;
  }
  int IoctlGetByte(int fd, unsigned long request, std::uint8_t& value) override {
    value = registerValue;
    calls->push_back({"ioctl", fd, request, value});
    return 0;
  }
  long Read(int fd, std::span<std::uint8_t> data) override {
    calls->push_back({"read", fd, 0, static_cast<int>(data.size())});
    if (readFails) {
      return -EIO;
    }
    // A run stops short where the port timed out, as the kernel's does.
    const std::size_t got = std::min(data.size(), readLimits.empty() ? data.size() : readLimits[0]);
    if (!readLimits.empty())
      readLimits.erase(readLimits.begin());
    std::fill_n(data.begin(), got, readValue);
    return static_cast<long>(got);
  }
  long Write(int fd, std::span<const std::uint8_t> data) override {
    calls->push_back({"write", fd, 0, data.size() == 1 ? data[0] : -2});
    return static_cast<long>(data.size());
  }

  std::shared_ptr<std::vector<Call>> calls = std::make_shared<std::vector<Call>>();
  std::set<std::string> devices{"/dev/parport0"};
  std::map<std::string, int> openErrors;
  std::map<int, std::string> paths;
  int claimError = 0;
  int exclusiveError = 0;  // a claim after PPEXCL fails so (another driver has the port)
  std::set<int> exclusive;
  std::vector<std::size_t> readLimits;  // bytes the next reads deliver at most
  int nextFd = 10;
  std::uint8_t registerValue = 0x5A;
  std::uint8_t readValue = 0x12;
  bool readFails = false;
};

class Ppdev : public ::testing::Test {
 protected:
  std::unique_ptr<PortBackend> Open(std::string_view options = "") {
    auto fake = std::make_unique<FakePpdev>();
    fake_ = fake.get();
    calls_ = fake->calls;
    configure_(*fake);
    auto backend = OpenPpdevPort(options, std::move(fake), error_);
    openCalls_ = *calls_;
    calls_->clear();
    return backend;
  }

  std::function<void(FakePpdev&)> configure_ = [](FakePpdev&) {};
  FakePpdev* fake_ = nullptr;
  std::shared_ptr<std::vector<Call>> calls_;
  std::vector<Call> openCalls_;
  std::string error_;
};

TEST_F(Ppdev, ClaimsOnOpenAndReleasesOnClose) {
  configure_ = [](FakePpdev& fake) { fake.devices.insert("/dev/parport1"); };
  auto backend = Open();
  ASSERT_TRUE(backend) << error_;
  EXPECT_EQ(fake_->paths,
            (std::map<int, std::string>{{10, "/dev/parport0"}, {11, "/dev/parport1"}}));
  EXPECT_EQ(openCalls_, (std::vector<Call>{{"open", 10},
                                           {"ioctl", 10, PPEXCL},
                                           {"ioctl", 10, PPCLAIM},
                                           {"open", 11},
                                           {"ioctl", 11, PPEXCL},
                                           {"ioctl", 11, PPCLAIM},
                                           {"ioctl", 10, PPRCONTROL, 0x5A},
                                           {"ioctl", 10, PPDATADIR, 0},
                                           {"ioctl", 11, PPRCONTROL, 0x5A},
                                           {"ioctl", 11, PPDATADIR, 0}}));
  EXPECT_EQ(backend->ReadLptBase(1), kPpdevBase1);
  EXPECT_EQ(backend->ReadLptBase(2), kPpdevBase2);
  backend->PortWrite(kPpdevBase2 + 2, 0x04);
  EXPECT_EQ(calls_->back(), (Call{"ioctl", 11, PPWCONTROL, 0x04}));
  calls_->clear();
  backend.reset();
  // Each port goes back at rest, its lines moved one at a time from where
  // the kernel had them (0x0A: AUTOFEED asserted, INIT low).
  EXPECT_EQ(*calls_, (std::vector<Call>{{"ioctl", 10, PPWCONTROL, 0x08},
                                        {"ioctl", 10, PPWCONTROL, 0x0C},
                                        {"ioctl", 10, PPWCONTROL, 0x04},
                                        {"ioctl", 10, PPRELEASE},
                                        {"close", 10},
                                        {"ioctl", 11, PPRELEASE},
                                        {"close", 11}}));
}

TEST_F(Ppdev, IdlePortIsReleasedAndClaimedAgainAtTheNextAccess) {
  auto backend = Open();
  ASSERT_TRUE(backend) << error_;
  constexpr std::uint16_t b = kPpdevBase1;
  backend->PortWrite(b + 3, 0x02);
  backend->Idle();
  backend->Idle();  // released once
  EXPECT_EQ(calls_->back(), (Call{"ioctl", 10, PPRELEASE}));
  calls_->clear();

  // Another program may have changed the mode and the data direction.
  backend->PortWrite(b + 0, 0x7E);
  backend->PortWrite(b + 3, 0x01);
  EXPECT_EQ(*calls_, (std::vector<Call>{{"ioctl", 10, PPCLAIM},
                                        {"ioctl", 10, PPRCONTROL, 0x5A},
                                        {"ioctl", 10, PPDATADIR, 0},
                                        {"ioctl", 10, PPWDATA, 0x7E},
                                        {"ioctl", 10, PPSETMODE, IEEE1284_MODE_EPP | IEEE1284_ADDR},
                                        {"write", 10, 0, 0x01}}));

  // While another program holds it, accesses go nowhere and read an open
  // bus, so the search for the X-Changer simply finds none; the claim, a
  // wait of its own, is asked once until the port is idle again.
  backend->Idle();
  fake_->claimError = EBUSY;
  calls_->clear();
  backend->PortWrite(b + 2, 0x04);
  EXPECT_EQ(backend->PortRead(b + 1), 0xFF);
  EXPECT_EQ(*calls_, (std::vector<Call>{{"ioctl", 10, PPCLAIM}}));
  backend->Idle();
  calls_->clear();
  EXPECT_EQ(backend->PortRead(b + 1), 0xFF);
  EXPECT_EQ(*calls_, (std::vector<Call>{{"ioctl", 10, PPCLAIM}}));

  // Closing does not release what is not claimed.
  calls_->clear();
  backend.reset();
  EXPECT_EQ(*calls_, (std::vector<Call>{{"close", 10}}));
}

TEST_F(Ppdev, ClaimedExclusivelyWhereTheKernelAllows) {
  // The printer driver has the port registered: the exclusive claim fails
  // and a fresh descriptor claims it the ordinary way.
  configure_ = [](FakePpdev& fake) { fake.exclusiveError = ENXIO; };
  auto backend = Open();
  ASSERT_TRUE(backend) << error_;
  EXPECT_EQ(openCalls_, (std::vector<Call>{{"open", 10},
                                           {"ioctl", 10, PPEXCL},
                                           {"ioctl", 10, PPCLAIM},
                                           {"close", 10},
                                           {"open", 11},
                                           {"ioctl", 11, PPCLAIM},
                                           {"ioctl", 11, PPRCONTROL, 0x5A},
                                           {"ioctl", 11, PPDATADIR, 0}}));
  backend->PortWrite(kPpdevBase1 + 2, 0x01);
  EXPECT_EQ(calls_->back(), (Call{"ioctl", 11, PPWCONTROL, 0x01}));
}

TEST_F(Ppdev, SecondPortOnlyWhenItOpensAndNoneWithANamedDevice) {
  configure_ = [](FakePpdev& fake) {
    fake.devices = {"/dev/parport0", "/dev/parport1", "/dev/parport3"};
    fake.openErrors["/dev/parport1"] = EACCES;
  };
  auto backend = Open();
  ASSERT_TRUE(backend) << error_;
  EXPECT_EQ(backend->ReadLptBase(2), 0);

  backend = Open(":/dev/parport3");
  ASSERT_TRUE(backend) << error_;
  EXPECT_EQ(fake_->paths, (std::map<int, std::string>{{10, "/dev/parport3"}}));
  EXPECT_EQ(backend->ReadLptBase(1), kPpdevBase1);
  EXPECT_EQ(backend->ReadLptBase(2), 0);
}

TEST_F(Ppdev, OpenFailuresSayWhatToDo) {
  EXPECT_FALSE(Open(":/dev/parport7"));
  EXPECT_NE(error_.find("/dev/parport7 does not exist"), std::string::npos) << error_;
  EXPECT_NE(error_.find("modprobe ppdev"), std::string::npos) << error_;

  configure_ = [](FakePpdev& fake) { fake.openErrors["/dev/parport0"] = EACCES; };
  EXPECT_FALSE(Open());
  EXPECT_NE(error_.find("add yourself to group lp"), std::string::npos) << error_;

  configure_ = [](FakePpdev& fake) { fake.claimError = EBUSY; };
  EXPECT_FALSE(Open());
  EXPECT_NE(error_.find("cannot claim /dev/parport0"), std::string::npos) << error_;
  // A device that cannot be claimed is closed again, the exclusive and the
  // ordinary descriptor alike.
  EXPECT_EQ(openCalls_.back(), (Call{"close", 11}));

  for (const std::string_view bad : {":", "x", "dev"}) {
    EXPECT_FALSE(Open(bad)) << bad;
    EXPECT_NE(error_.find("ppdev:DEVICE"), std::string::npos) << error_;
  }
}

TEST_F(Ppdev, RegisterAccessesBecomeTheMatchingIoctls) {
  auto backend = Open();
  ASSERT_TRUE(backend) << error_;
  constexpr std::uint16_t b = kPpdevBase1;
  backend->PortWrite(b + 0, 0x3C);
  backend->PortWrite(b + 2, 0x09);
  EXPECT_EQ(backend->PortRead(b + 0), 0x5A);
  EXPECT_EQ(backend->PortRead(b + 1), 0x5A);
  EXPECT_EQ(backend->PortRead(b + 2), 0x5A);
  // The status register takes no writes through ppdev.
  backend->PortWrite(b + 1, 0x01);
  // Ports of no device are ignored and read as an open bus.
  backend->PortWrite(0x3BC, 0x01);
  EXPECT_EQ(backend->PortRead(b + 5), 0xFF);
  // The first control write after the claim moves one line at a time.
  EXPECT_EQ(*calls_, (std::vector<Call>{{"ioctl", 10, PPWDATA, 0x3C},
                                        {"ioctl", 10, PPWCONTROL, 0x08},
                                        {"ioctl", 10, PPWCONTROL, 0x09},
                                        {"ioctl", 10, PPRDATA, 0x5A},
                                        {"ioctl", 10, PPRSTATUS, 0x5A},
                                        {"ioctl", 10, PPRCONTROL, 0x5A}}));
}

TEST_F(Ppdev, EppCyclesSwitchModeOnlyWhenItChanges) {
  auto backend = Open();
  ASSERT_TRUE(backend) << error_;
  constexpr std::uint16_t b = kPpdevBase1;
  constexpr int addressMode = IEEE1284_MODE_EPP | IEEE1284_ADDR;
  backend->PortWrite(b + 3, 0x02);
  backend->PortWrite(b + 3, 0x01);
  backend->PortWrite(b + 4, 0x80);
  EXPECT_EQ(backend->PortRead(b + 4), 0x12);
  EXPECT_EQ(backend->PortRead(b + 3), 0x12);
  EXPECT_EQ(*calls_, (std::vector<Call>{{"ioctl", 10, PPSETMODE, addressMode},
                                        {"write", 10, 0, 0x02},
                                        {"write", 10, 0, 0x01},
                                        {"ioctl", 10, PPSETMODE, IEEE1284_MODE_EPP},
                                        {"write", 10, 0, 0x80},
                                        {"read", 10, 0, 1},
                                        {"ioctl", 10, PPSETMODE, addressMode},
                                        {"read", 10, 0, 1}}));
  // A cycle the port could not complete reads as an open bus.
  fake_->readFails = true;
  EXPECT_EQ(backend->PortRead(b + 4), 0xFF);
}

TEST_F(Ppdev, DataLinesAreTurnedForwardAfterAnEppRead) {
  auto backend = Open();
  ASSERT_TRUE(backend) << error_;
  constexpr std::uint16_t b = kPpdevBase1;
  backend->PortWrite(b, 0x01);
  backend->PortRead(b + 4);
  calls_->clear();
  backend->PortWrite(b, 0x02);
  backend->PortWrite(b, 0x03);
  EXPECT_EQ(*calls_, (std::vector<Call>{{"ioctl", 10, PPDATADIR, 0},
                                        {"ioctl", 10, PPWDATA, 0x02},
                                        {"ioctl", 10, PPWDATA, 0x03}}));
}

TEST_F(Ppdev, RunsGoToTheKernelWholeAndLoseOnlyATimedOutByte) {
  auto backend = Open();
  ASSERT_TRUE(backend) << error_;
  constexpr std::uint16_t b = kPpdevBase1;
  // The port times out after three bytes: that cycle reads an open bus and
  // the run goes on from the next byte.
  fake_->readValue = 0x21;
  fake_->readLimits = {3};
  std::vector<std::uint8_t> read(8, 0);
  backend->PortReadRun(b + 4, read);
  EXPECT_EQ(read, (std::vector<std::uint8_t>{0x21, 0x21, 0x21, 0xFF, 0x21, 0x21, 0x21, 0x21}));
  const std::vector<std::uint8_t> written{1, 2, 3, 4, 5};
  backend->PortWriteRun(b + 4, written);
  // Runs longer than the kernel takes at once are split where it must.
  std::vector<std::uint8_t> big(2500, 0);
  backend->PortReadRun(b + 4, big);
  EXPECT_EQ(*calls_, (std::vector<Call>{{"ioctl", 10, PPSETMODE, IEEE1284_MODE_EPP},
                                        {"read", 10, 0, 8},
                                        {"read", 10, 0, 4},
                                        {"write", 10, 0, -2},
                                        {"read", 10, 0, 1024},
                                        {"read", 10, 0, 1024},
                                        {"read", 10, 0, 452}}));
  // A control write that changes nothing is not sent, until the port has
  // been out of our hands.
  calls_->clear();
  backend->PortWrite(b + 2, 0x01);
  backend->PortWrite(b + 2, 0x01);
  backend->Idle();
  backend->PortWrite(b + 2, 0x01);
  // The release leaves the port at rest in compatibility mode.
  EXPECT_EQ(*calls_, (std::vector<Call>{{"ioctl", 10, PPWCONTROL, 0x01},
                                        {"ioctl", 10, PPWCONTROL, 0x00},
                                        {"ioctl", 10, PPWCONTROL, 0x04},
                                        {"ioctl", 10, PPDATADIR, 0},
                                        {"ioctl", 10, PPSETMODE, IEEE1284_MODE_COMPAT},
                                        {"ioctl", 10, PPRELEASE},
                                        {"ioctl", 10, PPCLAIM},
                                        {"ioctl", 10, PPRCONTROL, 0x5A},
                                        {"ioctl", 10, PPWCONTROL, 0x08},
                                        {"ioctl", 10, PPWCONTROL, 0x00},
                                        {"ioctl", 10, PPWCONTROL, 0x01}}));
}

class FastTicks : public TickCounter {
 public:
  std::uint32_t GetTickCount() override { return now_ += 5; }

 private:
  std::uint32_t now_ = 0;
};

TEST(PpdevOverSimulator, CardReadNeedsAtMostOneSystemCallPer64BytesAndReadsExactly) {
  sim::SimConfig config;
  config.hasCart = true;
  config.card = sim::FlashChip::k4Mbit;
  config.rom.resize(512 * 1024);
  std::iota(config.rom.begin(), config.rom.end(), std::uint8_t{7});
  for (std::size_t i = 0; i < config.rom.size(); i += 333)
    config.rom[i] = static_cast<std::uint8_t>(i >> 9);
  config.sram.assign(32 * 1024, 0xFF);
  sim::SimulatedXChanger x(config);
  auto kernel = std::make_unique<KernelOverSimulator>(x);
  KernelOverSimulator& counted = *kernel;
  std::string error;
  auto port = OpenPpdevPort("", std::move(kernel), error);
  ASSERT_TRUE(port) << error;
  FastTicks ticks;
  NoEventPump pump;
  XChangerLink link(*port, ticks, pump);
  CartAccess cart(link);
  ASSERT_TRUE(link.FindXChanger());
  ASSERT_EQ(link.LinkMode(), kLinkModeEpp);
  ASSERT_EQ(cart.IdentifyFlashCard(), 4);

  const auto readCard = [&] {
    for (std::uint16_t bank = 0; bank < 32; ++bank) {
      cart.ReadMenuDirectory(bank);
      const auto from = config.rom.begin() + std::ptrdiff_t{bank} * 0x4000;
      ASSERT_TRUE(std::equal(from, from + 0x4000, cart.TransferBuffer().begin())) << bank;
    }
  };
  counted.calls = 0;
  readCard();
  const std::uint64_t bytes = config.rom.size();
  std::cout << "system calls per byte of a card read over ppdev EPP: " << counted.calls << " / "
            << bytes << " = 1/" << bytes / counted.calls << '\n';
  EXPECT_LE(counted.calls * 64, bytes);

  // Where the latch does not carry into the next block, the run is caught
  // and the card is read block by block, still exactly.
  counted.latchStopsAtBlockEnd = true;
  readCard();
  counted.latchStopsAtBlockEnd = false;

  // The SRAM goes out in runs too, and arrives whole.
  std::iota(cart.TransferBuffer().begin(), cart.TransferBuffer().begin() + 0x2000,
            std::uint8_t{0x40});
  ASSERT_EQ(cart.WriteSramBank(2), 0);
  EXPECT_TRUE(std::equal(x.Sram().begin() + 0x4000, x.Sram().begin() + 0x6000,
                         cart.TransferBuffer().begin()));
}

}  // namespace
}  // namespace velwin::xchanger
