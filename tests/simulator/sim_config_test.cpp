#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/simulator/port_driver.h"
#include "xchanger/sim/simulated_xchanger.h"
#include "xchanger/sim/sram_file.h"

namespace velwin::xchanger::sim {
namespace {

namespace fs = std::filesystem;
using testing::PortDriver;

class SimFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("velwin-sim-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (immutable_)
      SetImmutable(dir_.string(), false);
    fs::remove_all(dir_);
  }

  std::string Write(const std::string& name, std::size_t size, std::uint8_t fill) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << std::string(size, static_cast<char>(fill));
    return path.string();
  }
  static std::vector<std::uint8_t> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Returns false when the file system or the process may not do it.
  static bool SetImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
  }

  std::string ParseError(const std::string& spec) {
    SimConfig config;
    config.lpt = 7;  // must survive a failed parse
    std::string error;
    EXPECT_FALSE(ParseSimSpec(spec, config, error)) << spec;
    EXPECT_EQ(config.lpt, 7) << spec;
    return error;
  }

  fs::path dir_;
  bool immutable_ = false;
};

TEST_F(SimFiles, ParsesEveryKey) {
  const std::string rom = Write("game.gb", 0x8000, 0x11);
  const std::string sram = Write("game.sav", 0x2000, 0x22);
  SimConfig config;
  std::string error;
  ASSERT_TRUE(ParseSimSpec("rom=" + rom + ",sram=" + sram + ",card=16,lpt=2,other=echo,modes=spp",
                           config, error))
      << error;
  EXPECT_TRUE(config.hasCart);
  EXPECT_EQ(config.rom, std::vector<std::uint8_t>(0x8000, 0x11));
  EXPECT_EQ(config.romPath, rom);
  EXPECT_EQ(config.sram, std::vector<std::uint8_t>(0x2000, 0x22));
  EXPECT_EQ(config.sramPath, sram);
  EXPECT_EQ(config.card, FlashChip::k16Mbit);
  EXPECT_EQ(config.lpt, 2);
  EXPECT_TRUE(config.otherEcho);
  EXPECT_EQ(config.modes, LinkModes::kSppOnly);

  ASSERT_TRUE(ParseSimSpec("card=none,lpt=none,other=none,modes=epp", config, error)) << error;
  EXPECT_EQ(config.card, FlashChip::kNone);
  EXPECT_EQ(config.lpt, 0);
  EXPECT_FALSE(config.otherEcho);
  EXPECT_EQ(config.modes, LinkModes::kEppOnly);
  EXPECT_FALSE(config.hasCart) << "every parse starts from the defaults";
}

TEST_F(SimFiles, EmptySpecIsAnXChangerOnLpt1WithoutCart) {
  SimConfig config;
  config.hasCart = true;
  std::string error;
  ASSERT_TRUE(ParseSimSpec("", config, error));
  EXPECT_FALSE(config.hasCart);
  EXPECT_EQ(config.lpt, 1);
  EXPECT_EQ(config.modes, LinkModes::kBoth);
  EXPECT_EQ(config.sram, std::vector<std::uint8_t>(0x20000, 0xFF));
  EXPECT_TRUE(config.sramPath.empty());
}

TEST_F(SimFiles, RejectsMalformedSettingsWithTheirNames) {
  EXPECT_EQ(ParseError("colour=blue"),
            "unknown simulation setting \"colour\" (known: rom, sram, card, lpt, other, modes)");
  EXPECT_EQ(ParseError("card=8"), "simulation setting card must be 4, 16, 64 or none, not \"8\"");
  EXPECT_EQ(ParseError("lpt=3"), "simulation setting lpt must be 1, 2 or none, not \"3\"");
  EXPECT_EQ(ParseError("other=printer"),
            "simulation setting other must be echo or none, not \"printer\"");
  EXPECT_EQ(ParseError("modes=ecp"),
            "simulation setting modes must be both, epp or spp, not \"ecp\"");
  EXPECT_EQ(ParseError("rom="), "simulation setting rom must be a file name, not \"\"");
  EXPECT_EQ(ParseError("lpt"), "simulation setting \"lpt\" needs a value (key=value)");
  EXPECT_EQ(ParseError("lpt=1,,card=4"), "empty simulation setting in \"lpt=1,,card=4\"");
  EXPECT_EQ(ParseError("lpt=1,"), "empty simulation setting in \"lpt=1,\"");
  EXPECT_EQ(ParseError("lpt=1,lpt=2"), "simulation setting lpt is given twice");
  EXPECT_EQ(ParseError("Card=4"),
            "unknown simulation setting \"Card\" (known: rom, sram, card, lpt, other, modes)");
}

TEST_F(SimFiles, RomMustBeAReadableRegularFileThatFitsTheCard) {
  EXPECT_EQ(ParseError("rom=" + Path("missing.gb")),
            "ROM image \"" + Path("missing.gb") + "\": File not found");
  EXPECT_EQ(ParseError("rom=" + dir_.string()),
            "ROM image \"" + dir_.string() + "\": File access denied");
  EXPECT_EQ(ParseError("rom=/dev/zero"), "ROM image \"/dev/zero\": File access denied");

  const std::string fits = Write("fits.gb", 0x80000, 0x01);
  const std::string tooBig = Write("big.gb", 0x80001, 0x01);
  SimConfig config;
  std::string error;
  EXPECT_TRUE(ParseSimSpec("card=4,rom=" + fits, config, error)) << error;
  // The card may come after the ROM: the limit is that of the card named.
  EXPECT_EQ(
      ParseError("rom=" + tooBig + ",card=4"),
      "ROM image \"" + tooBig + "\" is 524289 bytes, more than the 524288 bytes of a 4 Mbit card");
  EXPECT_TRUE(ParseSimSpec("rom=" + tooBig + ",card=16", config, error)) << error;

  const std::string maskRom = Write("mask.gb", 0x800000, 0x02);
  const std::string overMask = Write("over.gb", 0x800001, 0x02);
  EXPECT_TRUE(ParseSimSpec("card=none,rom=" + maskRom, config, error)) << error;
  EXPECT_EQ(
      ParseError("card=none,rom=" + overMask),
      "ROM image \"" + overMask + "\" is 8388609 bytes, more than the 8388608 bytes of a cart ROM");

  // An empty image is an erased card.
  const std::string empty = Write("empty.gb", 0, 0);
  ASSERT_TRUE(ParseSimSpec("rom=" + empty, config, error)) << error;
  EXPECT_TRUE(config.hasCart);
  EXPECT_TRUE(config.rom.empty());
}

TEST_F(SimFiles, SramImageMustHaveAChipSize) {
  for (const std::size_t size : {0x800u, 0x2000u, 0x8000u, 0x20000u}) {
    const std::string sram = Write("ok.sav", size, 0x33);
    SimConfig config;
    std::string error;
    ASSERT_TRUE(ParseSimSpec("sram=" + sram, config, error)) << error;
    EXPECT_EQ(config.sram.size(), size);
  }
  for (const std::size_t size : {0u, 0x7FFu, 0x2001u, 0x3000u, 0x20001u, 0x40000u}) {
    const std::string sram = Write("bad.sav", size, 0x33);
    EXPECT_EQ(ParseError("sram=" + sram), "SRAM image \"" + sram + "\" is " + std::to_string(size) +
                                              " bytes; it must be a power of two from 2048 to "
                                              "131072 bytes");
  }
  EXPECT_EQ(ParseError("sram=" + dir_.string()),
            "SRAM image \"" + dir_.string() + "\": File access denied");
}

TEST_F(SimFiles, MissingSramFileIsCreatedOnlyWhenTheSramChanges) {
  const std::string rom = Write("game.gb", 0x8000, 0x00);
  const std::string sav = Path("new.sav");
  SimConfig config;
  std::string error;
  ASSERT_TRUE(ParseSimSpec("rom=" + rom + ",sram=" + sav, config, error)) << error;
  EXPECT_EQ(config.sram, std::vector<std::uint8_t>(0x20000, 0xFF));
  {
    SimulatedXChanger sim(config);
    PortDriver port(sim, 0x378);
    port.CartWrite(0x0000, 0x0A);
    port.CartWrite(0xA000, 0xFF);  // same as before: no change
    EXPECT_TRUE(sim.Flush(error)) << error;
  }
  EXPECT_FALSE(fs::exists(sav));
  {
    SimulatedXChanger sim(config);
    PortDriver port(sim, 0x378);
    port.CartWrite(0x0000, 0x0A);
    port.CartWrite(0x4000, 0x03);
    port.CartWrite(0xA001, 0x42);
  }  // written back when the simulation ends
  const auto saved = Read(sav);
  ASSERT_EQ(saved.size(), 0x20000u);
  EXPECT_EQ(saved[3 * 0x2000 + 1], 0x42);
  EXPECT_EQ(saved[0], 0xFF);
  EXPECT_FALSE(fs::exists(sav + ".velwin-new"));
}

TEST_F(SimFiles, FlushWritesOnlyAfterAChangeAndOnlyOnce) {
  const std::string sav = Write("game.sav", 0x2000, 0x00);
  SimConfig config;
  std::string error;
  ASSERT_TRUE(ParseSimSpec("rom=" + Write("g.gb", 0x8000, 0) + ",sram=" + sav, config, error));
  SimulatedXChanger sim(std::move(config));
  PortDriver port(sim, 0x378);
  port.CartWrite(0x0000, 0x0A);
  port.CartWrite(0xA000, 0x77);
  ASSERT_TRUE(sim.Flush(error)) << error;
  EXPECT_EQ(Read(sav)[0], 0x77);
  EXPECT_EQ(Read(sav).size(), 0x2000u);

  // Once written back, the image is clean: a second flush leaves the file.
  fs::remove(sav);
  ASSERT_TRUE(sim.Flush(error)) << error;
  EXPECT_FALSE(fs::exists(sav));
}

TEST_F(SimFiles, FailedWriteBackReportsAndKeepsThePreviousImage) {
  SimConfig config;
  config.hasCart = true;
  config.rom.assign(0x8000, 0);
  config.sram.assign(0x2000, 0x00);
  config.sramPath = Path("no-such-dir/game.sav");
  SimulatedXChanger sim(config);
  PortDriver port(sim, 0x378);
  port.CartWrite(0x0000, 0x0A);
  port.CartWrite(0xA000, 0x01);
  std::string error;
  EXPECT_FALSE(sim.Flush(error));
  EXPECT_EQ(error,
            "SRAM image \"" + Path("no-such-dir/game.sav") + "\" not written: File not found");

  std::vector<std::uint8_t> image(0x2000, 0x01);
  EXPECT_FALSE(WriteSramImage("/dev/full", image, error));
  EXPECT_EQ(error, "SRAM image \"/dev/full\" not written: Disk full");

  // A directory that takes no new files: the old image must stay whole.
  const std::string old = Write("keep.sav", 0x2000, 0x5A);
  if (!SetImmutable(dir_.string(), true))
    GTEST_SKIP() << "immutable attribute not permitted here";
  immutable_ = true;
  EXPECT_FALSE(WriteSramImage(old, image, error));
  EXPECT_EQ(error, "SRAM image \"" + old + "\" not written: File access denied");
  EXPECT_EQ(Read(old), std::vector<std::uint8_t>(0x2000, 0x5A));
}

TEST_F(SimFiles, WriteBackFollowsASymlinkAndKeepsThePermissions) {
  const std::string target = Write("real.sav", 0x2000, 0x00);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  const std::string link = Path("link.sav");
  fs::create_symlink(target, link);
  std::string error;
  ASSERT_TRUE(WriteSramImage(link, std::vector<std::uint8_t>(0x2000, 0x44), error)) << error;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(target), std::vector<std::uint8_t>(0x2000, 0x44));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
}  // namespace velwin::xchanger::sim
