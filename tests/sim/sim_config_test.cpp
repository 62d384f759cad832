#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "sim/simulated_xchanger.h"
#include "sim/sram_file.h"
#include "tests/sim/port_driver.h"
#include "tests/support/immutable_file.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::xchanger::sim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class SimFiles : public velwin::testing::TempDirTest {
 protected:
  std::string Write(const std::string& name, std::size_t size, std::uint8_t fill) const {
    return TempDirTest::Write(name, Bytes(size, fill));
  }
  static Bytes Read(const std::string& path) { return velwin::testing::ReadBytes(path); }
  // The message for settings text that must fail; the config must stay as
  // it was.
  static std::string ParseError(const std::string& text) {
    SimConfig config;
    config.lpt = 7;
    std::string error;
    EXPECT_FALSE(ParseSimSpec(text, config, error)) << text;
    EXPECT_EQ(config.lpt, 7) << text;
    return error;
  }
  // Writes one byte into SRAM bank 0 through the ports.
  static void ChangeSram(SimulatedXChanger& sim, std::uint8_t value) {
    testing::PortDriver port(sim, 0x378);
    port.CartWrite(0x0000, 0x0A);
    port.CartWrite(0xA001, value);
  }
};

TEST_F(SimFiles, ParsesEveryKeyAndStartsFromTheDefaults) {
  const std::string rom = Write("game.gb", 0x8000, 0x11);
  const std::string sram = Write("game.sav", 0x2000, 0x22);
  SimConfig config;
  std::string error;
  ASSERT_TRUE(ParseSimSpec("rom=" + rom + ",sram=" + sram + ",card=16,lpt=2,other=echo,modes=spp",
                           config, error))
      << error;
  EXPECT_TRUE(config.hasCart);
  EXPECT_EQ(config.rom, Bytes(0x8000, 0x11));
  EXPECT_EQ(config.sram, Bytes(0x2000, 0x22));
  EXPECT_EQ(config.sramPath, sram);
  EXPECT_EQ(config.card, FlashChip::k16Mbit);
  EXPECT_EQ(config.lpt, 2);
  EXPECT_TRUE(config.otherEcho);
  EXPECT_EQ(config.modes, LinkModes::kSppOnly);

  ASSERT_TRUE(ParseSimSpec("card=none,lpt=none,modes=epp", config, error)) << error;
  EXPECT_EQ(config.card, FlashChip::kNone);
  EXPECT_EQ(config.lpt, 0);
  EXPECT_EQ(config.modes, LinkModes::kEppOnly);
  EXPECT_FALSE(config.hasCart);
  EXPECT_FALSE(config.otherEcho);
  ASSERT_TRUE(ParseSimSpec("unplug=0,flaky=1,noisy=8191", config, error)) << error;
  EXPECT_EQ(config.unplugAfter, 0u);
  EXPECT_EQ(config.flakyEvery, 1u);
  EXPECT_EQ(config.noisyEvery, 8191u);
  ASSERT_TRUE(ParseSimSpec("stuck=d7:1", config, error) && config.stuck) << error;
  EXPECT_TRUE(config.stuck->line == 7 && config.stuck->high);
  ASSERT_TRUE(ParseSimSpec("short=d5:d0", config, error) && config.shorted) << error;
  EXPECT_TRUE(config.shorted->lower == 0 && config.shorted->higher == 5);
  ASSERT_TRUE(ParseSimSpec("", config, error)) << error;
  EXPECT_EQ(config.unplugAfter, std::nullopt) << "faults are off by default";
  EXPECT_EQ(config.flakyEvery + config.noisyEvery, 0u);
  EXPECT_EQ(config.lpt, 1);
  EXPECT_EQ(config.sram, Bytes(0x20000, 0xFF)) << "SRAM in memory only";
  EXPECT_TRUE(config.sramPath.empty());
}

TEST_F(SimFiles, RejectsMalformedSettingsByName) {
  const std::string known =
      " (known: rom, sram, card, lpt, other, modes, unplug, flaky, noisy, badbyte, erasefail, "
      "locked, slow, stuck, short, access, jitter, advance82, loadtimer)";
  EXPECT_EQ(ParseError("colour=blue"), "unknown simulation setting \"colour\"" + known);
  EXPECT_EQ(ParseError("Card=4"), "unknown simulation setting \"Card\"" + known);
  EXPECT_EQ(ParseError("card=8"), "simulation setting card must be 4, 16, 64 or none, not \"8\"");
  EXPECT_EQ(ParseError("lpt=3"), "simulation setting lpt must be 1, 2 or none, not \"3\"");
  EXPECT_EQ(ParseError("other=x"), "simulation setting other must be echo or none, not \"x\"");
  EXPECT_EQ(ParseError("modes=ecp"),
            "simulation setting modes must be both, epp or spp, not \"ecp\"");
  EXPECT_EQ(ParseError("flaky=0"),
            "simulation setting flaky must be a count of at least 1, not \"0\"");
  EXPECT_EQ(ParseError("noisy=-3"),
            "simulation setting noisy must be a count of at least 1, not \"-3\"");
  EXPECT_EQ(ParseError("unplug=1k"),
            "simulation setting unplug must be a count of port accesses, not \"1k\"");
  EXPECT_EQ(ParseError("stuck=d8:0"),
            "simulation setting stuck must be dB:V, a data line B "
            "from 0 to 7 held at V, 0 or 1, not \"d8:0\"");
  for (const char* bad : {"d3:d3", "d0:d8", "d0:5", "d0d5", "d0:d5:"}) {
    EXPECT_EQ(ParseError(std::string("short=") + bad),
              "simulation setting short must be dA:dB, two different data lines A and B from 0 "
              "to 7, not \"" +
                  std::string(bad) + "\"");
  }
  EXPECT_EQ(ParseError("rom="), "simulation setting rom must be a file name, not \"\"");
  EXPECT_EQ(ParseError("lpt"), "simulation setting \"lpt\" needs a value (key=value)");
  EXPECT_EQ(ParseError("lpt=1,"), "empty simulation setting in \"lpt=1,\"");
  EXPECT_EQ(ParseError("lpt=1,lpt=2"), "simulation setting lpt is given twice");
  const std::string access =
      "simulation setting access must be the nanoseconds a port access takes, 1 to 1000000, not ";
  EXPECT_EQ(ParseError("access=0"), access + "\"0\"");
  EXPECT_EQ(ParseError("access=1000001"), access + "\"1000001\"");
  EXPECT_EQ(ParseError("access=1.5"), access + "\"1.5\"");
  const std::string jitter =
      "simulation setting jitter must be N:US, a pause of US microseconds (1 to 1000000) about "
      "every N port accesses, not ";
  for (const char* bad : {"100", "0:10", "100:0", "100:1000001", ":5", "5:", "a:b"})
    EXPECT_EQ(ParseError(std::string("jitter=") + bad), jitter + "\"" + bad + "\"") << bad;
  EXPECT_EQ(ParseError("advance82=yes"),
            "simulation setting advance82 must be 0 or 1, not \"yes\"");
  EXPECT_EQ(ParseError("card=16,loadtimer=first"),
            "simulation setting loadtimer must be byte or command, not \"first\"");
  EXPECT_EQ(ParseError("card=4,loadtimer=command"),
            "simulation setting loadtimer=command needs the 16 Mbit card (card=16)");
}

// The two readings no datasheet settles are off unless asked for.
TEST_F(SimFiles, UnsettledReadingsAreChosenByKey) {
  SimConfig config;
  std::string error;
  ASSERT_TRUE(ParseSimSpec("card=16", config, error)) << error;
  EXPECT_FALSE(config.advanceUnderFlashWrite || config.chipFaults.loadTimerAtCommand);
  ASSERT_TRUE(ParseSimSpec("card=16,advance82=1,loadtimer=command", config, error)) << error;
  EXPECT_TRUE(config.advanceUnderFlashWrite && config.chipFaults.loadTimerAtCommand);
  ASSERT_TRUE(ParseSimSpec("loadtimer=byte,advance82=0", config, error)) << error;
  EXPECT_FALSE(config.advanceUnderFlashWrite || config.chipFaults.loadTimerAtCommand);
}

// The port's speed acts on the clock the chips run on: every access takes
// its time, and the seeded pauses come about as often as asked, the same
// in every run.
TEST_F(SimFiles, AccessTimeAndJitterMoveTheSimulatedClock) {
  SimConfig config;
  std::string error;
  ASSERT_TRUE(ParseSimSpec("access=1500", config, error)) << error;
  EXPECT_EQ(config.accessNs, 1500u);
  EXPECT_EQ(config.jitterEvery, 0u) << "no pauses unless asked";
  {
    SimulatedXChanger sim(config);
    for (int i = 0; i < 1000; ++i)
      sim.PortRead(0x379);
    EXPECT_EQ(sim.Clock().NowNanoseconds(), 1'500'000u);
    EXPECT_EQ(sim.NowMicroseconds(), 1500u);
  }
  ASSERT_TRUE(ParseSimSpec("jitter=200:50", config, error)) << error;
  EXPECT_EQ(config.accessNs, 1000u);
  const auto run = [&config] {
    SimulatedXChanger sim(config);
    for (int i = 0; i < 100'000; ++i)
      sim.PortRead(0x379);
    return sim.Clock().NowNanoseconds();
  };
  const std::uint64_t ns = run();
  const std::uint64_t pauses = (ns - 100'000'000u) / 50'000u;
  EXPECT_EQ((ns - 100'000'000u) % 50'000u, 0u) << "whole pauses only";
  EXPECT_GT(pauses, 400u);
  EXPECT_LT(pauses, 600u) << "about one pause every 200 accesses";
  EXPECT_EQ(run(), ns) << "seeded: the same pauses every run";
}

TEST_F(SimFiles, RomMustBeARegularFileThatFitsTheCardNamedAnywhere) {
  EXPECT_EQ(ParseError("rom=" + PathOf("no.gb")),
            "ROM image \"" + PathOf("no.gb") + "\": File not found");
  EXPECT_EQ(ParseError("rom=" + dir_.string()),
            "ROM image \"" + dir_.string() + "\": File access denied");
  EXPECT_EQ(ParseError("rom=/dev/zero"), "ROM image \"/dev/zero\": File access denied");

  SimConfig config;
  std::string error;
  const std::string fits = Write("fits.gb", 0x80000, 0x01);
  const std::string over = Write("over.gb", 0x80001, 0x01);
  EXPECT_TRUE(ParseSimSpec("card=4,rom=" + fits, config, error)) << error;
  EXPECT_EQ(
      ParseError("rom=" + over + ",card=4"),
      "ROM image \"" + over + "\" is 524289 bytes, more than the 524288 bytes of a 4 Mbit card");
  const std::string mask = Write("mask.gb", 0x800001, 0x02);
  EXPECT_EQ(
      ParseError("card=none,rom=" + mask),
      "ROM image \"" + mask + "\" is 8388609 bytes, more than the 8388608 bytes of a cart ROM");
  ASSERT_TRUE(ParseSimSpec("rom=" + Write("empty.gb", 0, 0), config, error)) << error;
  EXPECT_TRUE(config.hasCart) << "an empty image is an erased card";
}

TEST_F(SimFiles, SramImageMustHaveAChipSize) {
  for (const std::size_t size : {0x800u, 0x20000u}) {
    SimConfig config;
    std::string error;
    ASSERT_TRUE(ParseSimSpec("sram=" + Write("ok.sav", size, 0x33), config, error)) << error;
    EXPECT_EQ(config.sram, Bytes(size, 0x33));
  }
  for (const std::size_t size : {0u, 0x7FFu, 0x3000u, 0x20001u}) {
    const std::string sram = Write("bad.sav", size, 0x33);
    EXPECT_EQ(ParseError("sram=" + sram), "SRAM image \"" + sram + "\" is " + std::to_string(size) +
                                              " bytes; it must be a power of two from 2048 to "
                                              "131072 bytes");
  }
  EXPECT_EQ(ParseError("sram=" + dir_.string()),
            "SRAM image \"" + dir_.string() + "\": File access denied");
}

TEST_F(SimFiles, SramIsWrittenBackOnlyAfterAChangeAndOnlyOnce) {
  const std::string sav = PathOf("new.sav");
  Write(".new.sav.velwin-tmp", 0x1000, 0);  // left by a killed write-back
  SimConfig config;
  std::string error;
  ASSERT_TRUE(ParseSimSpec("rom=" + Write("g.gb", 0x8000, 0) + ",sram=" + sav, config, error));
  EXPECT_FALSE(fs::exists(PathOf(".new.sav.velwin-tmp")));
  {
    SimulatedXChanger sim(config);
    ChangeSram(sim, 0xFF);  // the value it already holds
  }
  EXPECT_FALSE(fs::exists(sav));
  {
    SimulatedXChanger sim(config);
    ChangeSram(sim, 0x42);
    ASSERT_TRUE(sim.Flush(error)) << error;
    const Bytes saved = Read(sav);
    ASSERT_EQ(saved.size(), 0x20000u);
    EXPECT_EQ(saved[1], 0x42);
    EXPECT_EQ(saved[2], 0xFF);
    fs::remove(sav);
    ASSERT_TRUE(sim.Flush(error)) << error;
    EXPECT_FALSE(fs::exists(sav)) << "clean after the first write-back";
    ChangeSram(sim, 0x43);
  }  // and written back when the simulation ends
  EXPECT_EQ(Read(sav)[1], 0x43);
  EXPECT_FALSE(fs::exists(PathOf(".new.sav.velwin-tmp")));
}

TEST_F(SimFiles, RelativeSramPathStaysWhereItWasWhenTheDirectoryChanges) {
  const fs::path start = fs::current_path();
  fs::current_path(dir_);
  SimConfig config;
  config.hasCart = true;
  config.sram.assign(0x2000, 0x00);
  config.sramPath = "relative.sav";
  SimulatedXChanger sim(std::move(config));
  fs::current_path(start);
  ChangeSram(sim, 0x07);
  std::string error;
  ASSERT_TRUE(sim.Flush(error)) << error;
  EXPECT_EQ(Read(PathOf("relative.sav")).at(1), 0x07);
}

TEST_F(SimFiles, FailedWriteBackReportsAndKeepsThePreviousImage) {
  SimConfig config;
  config.hasCart = true;
  config.sram.assign(0x2000, 0x00);
  config.sramPath = PathOf("no-dir/game.sav");
  SimulatedXChanger sim(config);
  ChangeSram(sim, 0x01);
  std::string error;
  EXPECT_FALSE(sim.Flush(error));
  EXPECT_EQ(error, "SRAM image \"" + config.sramPath + "\" not written: File not found");
  EXPECT_FALSE(WriteSramImage("/dev/full", Bytes(0x2000, 1), error));
  EXPECT_EQ(error, "SRAM image \"/dev/full\" not written: Disk full");

  const std::string old = Write("keep.sav", 0x2000, 0x5A);
  const velwin::testing::ImmutableFile locked(dir_);
  if (!locked.Applied())
    GTEST_SKIP() << "immutable attribute not permitted";
  EXPECT_FALSE(WriteSramImage(old, Bytes(0x2000, 1), error));
  EXPECT_EQ(error, "SRAM image \"" + old + "\" not written: File access denied");
  EXPECT_EQ(Read(old), Bytes(0x2000, 0x5A));
}

TEST_F(SimFiles, WriteBackReplacesTheLinkedFileWithItsPermissions) {
  const std::string target = Write("real.sav", 0x2000, 0x00);
  const auto perms = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions(target, perms);
  fs::create_symlink(target, PathOf("link.sav"));
  std::string error;
  ASSERT_TRUE(WriteSramImage(PathOf("link.sav"), Bytes(0x2000, 0x44), error)) << error;
  EXPECT_TRUE(fs::is_symlink(PathOf("link.sav")));
  EXPECT_EQ(Read(target), Bytes(0x2000, 0x44));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, perms);
}

}  // namespace
}  // namespace velwin::xchanger::sim

namespace velwin::xchanger::sim {
namespace {

TEST_F(SimFiles, ChipFaultKeysMustNameAPlaceOnTheCard) {
  SimConfig config;
  std::string error;
  ASSERT_TRUE(ParseSimSpec("card=16,badbyte=0x1FFFFF,erasefail=15,locked=0,slow=1", config, error))
      << error;
  EXPECT_EQ(config.chipFaults.badByte, 0x1FFFFFu);
  EXPECT_EQ(config.chipFaults.failingSector, 15u);
  EXPECT_EQ(config.chipFaults.lockedSector, 0u);
  EXPECT_TRUE(config.chipFaults.slow);
  ASSERT_TRUE(ParseSimSpec("badbyte=8388607", config, error)) << error;
  EXPECT_FALSE(config.chipFaults.slow) << "off by default";

  EXPECT_EQ(ParseError("card=16,badbyte=0x200000"),
            "simulation setting badbyte must be an address below 2097152 on a 16 Mbit card");
  EXPECT_EQ(ParseError("erasefail=4,card=4"),
            "simulation setting erasefail must be a sector from 0 to 3 on a 4 Mbit card");
  EXPECT_EQ(ParseError("locked=64"),
            "simulation setting locked must be a sector from 0 to 63 on a 64 Mbit card");
  EXPECT_EQ(ParseError("card=4,locked=1"),
            "simulation setting locked must be 0 (the low boot block) or 3 (the high boot block) "
            "on a 4 Mbit card");
  EXPECT_EQ(ParseError("card=none,slow=1"),
            "simulation settings badbyte, erasefail, locked and slow need a flash card (card=4, "
            "16 or 64)");
  EXPECT_EQ(ParseError("slow=2"), "simulation setting slow must be 0 or 1, not \"2\"");
  EXPECT_EQ(ParseError("badbyte=0x"),
            "simulation setting badbyte must be a card address, not \"0x\"");
  EXPECT_EQ(ParseError("erasefail=-1"),
            "simulation setting erasefail must be a sector number, not \"-1\"");
}

TEST_F(SimFiles, ProgrammedCardGoesBackToTheRomFileOnTheSimulatedClock) {
  const std::string rom = Write("card.gb", 0x8000, 0x11);
  SimConfig config;
  std::string error;
  ASSERT_TRUE(ParseSimSpec("card=64,rom=" + rom, config, error)) << error;
  {
    SimulatedXChanger sim(config);
    testing::PortDriver port(sim, 0x378);
    EXPECT_EQ(port.CartRead(0x0100), 0x11);
    EXPECT_EQ(sim.NowMicroseconds(), sim.Counters().reads + sim.Counters().writes)
        << "a microsecond per port access";
    sim.Clock().WaitMicroseconds(1000);
    EXPECT_EQ(sim.Clock().NowMicroseconds(), sim.Counters().reads + sim.Counters().writes + 1000);
    ASSERT_TRUE(sim.Flush(error)) << error;
  }
  fs::remove(rom);
  {
    SimulatedXChanger sim(config);  // read only: nothing to write back
  }
  EXPECT_FALSE(fs::exists(rom));
  {
    SimulatedXChanger sim(config);
    testing::PortDriver port(sim, 0x378);
    port.FlashCommand(0x0100, 0x40);
    port.FlashCommand(0x0100, 0x01);
    sim.Clock().WaitMicroseconds(1000);
    ASSERT_TRUE(sim.Flush(error)) << error;
    Bytes expected(0x8000, 0x11);
    expected[0x100] = 0x01;
    EXPECT_EQ(Read(rom), expected);
    EXPECT_EQ(sim.FlashCounters().bytePrograms, 1u);

    port.CartWrite(0x2000, 4);  // bank 4: linear 0x10000, beyond the file
    port.FlashCommand(0x4000, 0x40);
    port.FlashCommand(0x4000, 0x00);
  }  // the program completes and is written back when the simulation ends
  const Bytes saved = Read(rom);
  ASSERT_EQ(saved.size(), 0x10001u) << "up to the last byte that is not erased";
  EXPECT_EQ(saved[0x100], 0x01);
  EXPECT_EQ(saved[0x8000], 0xFF);
  EXPECT_EQ(saved[0x10000], 0x00);
  EXPECT_FALSE(fs::exists(PathOf(".card.gb.velwin-tmp")));
}

}  // namespace
}  // namespace velwin::xchanger::sim
