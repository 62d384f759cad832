// The "sim:" description parser over any text. It parses in the scratch
// folder, which holds a small ROM image "rom.gb" and an 8 KiB save
// "save.sav" for the descriptions that name them. A refused description
// must leave the configuration as it was and say why; an accepted one must
// hold what the simulation can run.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_config.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

void PrepareFolder() {
  const auto& scratch = velwin::fuzz::Scratch();
  std::vector<std::uint8_t> rom(32768, 0xFF);
  scratch.Write("rom.gb", rom.data(), rom.size());
  std::vector<std::uint8_t> sram(8192, 0x00);
  scratch.Write("save.sav", sram.data(), sram.size());
}

// Runs in the scratch folder only while parsing: libFuzzer reads its corpus
// by relative paths between runs.
class InScratchFolder {
 public:
  InScratchFolder() : back_(std::filesystem::current_path()) {
    std::filesystem::current_path(velwin::fuzz::Scratch().Path());
  }
  ~InScratchFolder() { std::filesystem::current_path(back_); }
  InScratchFolder(const InScratchFolder&) = delete;
  InScratchFolder& operator=(const InScratchFolder&) = delete;

 private:
  std::filesystem::path back_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool prepared = (PrepareFolder(), true);
  (void)prepared;

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  velwin::xchanger::sim::SimConfig config;
  config.romPath = "untouched";
  config.lpt = 7;
  std::string error;
  bool accepted = false;
  {
    InScratchFolder inScratch;
    accepted = velwin::xchanger::sim::ParseSimSpec(text, config, error);
  }
  if (!accepted) {
    if (error.empty() || config.romPath != "untouched" || config.lpt != 7 || config.hasCart)
      std::abort();
    return 0;
  }
  if (config.lpt < 0 || config.lpt > 2)
    std::abort();
  if (config.hasCart != !config.romPath.empty() || config.rom.size() > 8 * 1024 * 1024)
    std::abort();
  if (config.sram.size() > 128 * 1024)
    std::abort();
  return 0;
}
