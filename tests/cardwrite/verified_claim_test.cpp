// "Card verified" is the one claim a flashing tool must never make falsely:
// a write ends with it only when the card holds the image, and a unit that
// failed is put back as far as the chip allows.
#include <string>

#include "tests/cardwrite/card_write_fixture.h"

namespace velwin::card::testing {
namespace {

constexpr const char* kLinkLost = "The X-Changer stopped answering.";

// A different game with pages of 0xFF in it, as the free space of a real
// image has: read back from a dead port, those pages would match.
Bytes GameWithBlankPages(std::size_t bytes) {
  Bytes image = Pattern(bytes, 11);
  for (std::size_t at = 0; at < bytes; at += 16 * kKiB)
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at), 4 * kKiB, 0xFF);
  std::fill(image.end() - static_cast<std::ptrdiff_t>(bytes / 5), image.end(), 0xFF);
  return image;
}

// The link dropped at points through the whole write, from the backup read
// to the last read back, on full, mostly blank and blank cards, in EPP and
// SPP. Whatever the point, a run that exits 0 leaves the card holding the
// image, and one that does not says that the link dropped and claims no
// verified card.
TEST_F(CardWrite, ALostLinkIsNeverVerified) {
  // Close points on the 4 Mbit card, whose page writes need no erase, so
  // that every step of its job is met; wider ones on the other two.
  const struct {
    const char* mbit;
    std::size_t bytes;
    std::uint64_t step;  // in fifths: the next point is this many fifths of the last
  } cards[] = {{"4", 512 * kKiB, 6}, {"16", 2048 * kKiB, 10}, {"64", 8192 * kKiB, 10}};
  for (const auto& card : cards) {
    const std::size_t imageBytes = std::min<std::size_t>(card.bytes, 512 * kKiB);
    const Bytes image = GameWithBlankPages(imageBytes);
    const std::string imagePath = dir.Write("image.gb", image);
    Bytes mostlyBlank = Pattern(64 * kKiB, 4);
    mostlyBlank.resize(card.bytes, 0xFF);
    for (const Bytes& old : {Pattern(card.bytes, 4), mostlyBlank, Bytes(card.bytes, 0xFF)}) {
      for (const char* modes : {"epp", "spp"}) {
        if (std::string(modes) == "spp" && card.step != 6)
          continue;
        bool finished = false;
        // From inside the backup read to past the end, ever further apart.
        for (std::uint64_t unplug = imageBytes; !finished; unplug = unplug * card.step / 5) {
          const std::string keys =
              "modes=" + std::string(modes) + ",unplug=" + std::to_string(unplug);
          SCOPED_TRACE(std::string(card.mbit) + " Mbit, " + keys);
          std::filesystem::remove_all(dir.Path() / "data");
          const CommandRun run =
              Write({"--json", "--no-backup", "--port", Card(card.mbit, old, keys), imagePath});
          finished = run.status == 0;
          if (finished) {
            EXPECT_TRUE(CardNow() == Overlay(old, image));
            EXPECT_NE(run.out.find("\"verified\":true"), std::string::npos) << run.out;
            continue;
          }
          ASSERT_EQ(run.status, 1) << run.err;
          EXPECT_NE(run.err.find(kLinkLost), std::string::npos) << run.err;
          EXPECT_NE(run.out.find("\"verified\":false"), std::string::npos) << run.out;
        }
      }
    }
  }
}

// A dead byte fails its page for good. The rest of the failed sector or
// block gets its old bytes back, and the message names the range that
// could not be put back.
TEST_F(CardWrite, AFailedUnitIsPutBackAllButTheDeadBytesPage) {
  const struct {
    const char* mbit;
    std::size_t bytes;
    std::uint32_t from, to;  // the page or write buffer of the dead byte
    const char* range;
  } cases[] = {{"16", 2048 * kKiB, 0x1200, 0x1280, "0x001200-0x00127F"},
               {"64", 8192 * kKiB, 0x1220, 0x1240, "0x001220-0x00123F"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mbit) + " Mbit");
    const Bytes old = Pattern(c.bytes, 4);
    const CommandRun run = Write({"--no-backup", "--port", Card(c.mbit, old, "badbyte=0x1234"),
                                  dir.Write("image.gb", Pattern(64 * kKiB, 12))});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("could not be put back as it was at " + std::string(c.range) +
                           "; the rest of it holds its old contents again."),
              std::string::npos)
        << run.err;
    const Bytes now = CardNow();
    ASSERT_EQ(now.size(), old.size());
    for (std::size_t i = 0; i < now.size(); ++i) {
      if (i < c.from || i >= c.to) {
        ASSERT_EQ(now[i], old[i]) << "byte " << i;
      }
    }
  }
}

// An image file that changes while it is written: the card holds the old
// image, so nothing is verified, and the JSON says so beside the error.
TEST_F(CardWrite, AnImageChangedDuringTheWriteIsNotVerified) {
  const Bytes image = Pattern(64 * kKiB, 13);
  const std::string imagePath = dir.Write("image.gb", image);
  // The trace of the port accesses goes over the image as the job runs.
  const CommandRun run = Write({"--json", "--no-backup", "--trace", imagePath, "--port",
                                Card("16", Bytes(2048 * kKiB, 0xFF)), imagePath});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("\"verified\":false,\"error\":"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("\"verified\":true"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace velwin::card::testing
