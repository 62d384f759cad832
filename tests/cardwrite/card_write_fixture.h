#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/card/card_cli.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {

using sramman::testing::Pattern;
using velwin::testing::Bytes;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

constexpr std::size_t kKiB = 1024;

// A card in the simulated X-Changer, its contents in a file that the
// simulation writes back when the command ends, and a data folder of its
// own for the backups.
class CardWrite : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1); }

  std::string Card(const std::string& mbit, const Bytes& contents, const std::string& keys = "") {
    const std::string rom = dir.Write("card.gb", contents);
    romPath = rom;
    return "sim:card=" + mbit + ",rom=" + rom + ",sram=" + dir.Write("cart.sav", sram) +
           (keys.empty() ? "" : "," + keys);
  }
  CommandRun Write(const std::vector<std::string>& words) {
    cli::Arguments args{"write"};
    args.insert(args.end(), words.begin(), words.end());
    return testing::Card(args);
  }
  Bytes CardNow() const { return ReadBytes(romPath); }
  std::vector<std::filesystem::path> Backups() const {
    std::vector<std::filesystem::path> found;
    const auto folder = dir.Path() / "data/velwin/card-backups";
    if (std::filesystem::is_directory(folder)) {
      for (const auto& entry : std::filesystem::directory_iterator(folder))
        found.push_back(entry.path());
    }
    return found;
  }

  TempDir dir;
  std::string romPath;
  Bytes sram = Pattern(32 * kKiB, 9);
};

inline Bytes Overlay(Bytes card, const Bytes& image) {
  std::copy(image.begin(), image.end(), card.begin());
  return card;
}

inline std::string Json(int card, std::size_t bytes, int erased, std::size_t programmed) {
  return "{\"card\":" + std::to_string(card) + ",\"cardName\":\"" + std::to_string(card) +
         " Mbit flash card\",\"bytes\":" + std::to_string(bytes) +
         ",\"erasedSectors\":" + std::to_string(erased) +
         ",\"programmedBytes\":" + std::to_string(programmed) +
         ",\"backup\":null,\"link\":{\"usPerByte\":4,\"usPerByteWorst\":4},\"verified\":true}\n";
}

}  // namespace velwin::card::testing
