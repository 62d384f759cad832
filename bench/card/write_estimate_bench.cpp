// The time the write's question promises against what the write then takes,
// in simulated time (every port access of the simulated X-Changer takes
// 1 us and every wait advances its clock):
//   estimate / job    the question's "up to about" over the job's own time,
//                     for an image that differs everywhere (the estimate's
//                     worst case, where it should be just above 1) and for
//                     an image the card already holds (where the job only
//                     reads, and the estimate is the bound it is), and for
//                     the 4 Mbit card over a port of 4 us an access that
//                     stops for 1.5 ms about every 20000 accesses;
//   before the question, simulated ms: the identification, lock query,
//                     listing and link timing that the question waits for.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/card/simulated_card_rig.h"
#include "card/card_write_job.h"
#include "card/write_estimate.h"
#include "card/write_precheck.h"
#include "chips/flash_chip_table.h"
#include "chips/link_timing.h"

namespace {

using velwin::card::bench::Figures;
using velwin::card::bench::Pattern;
using velwin::card::bench::Rig;

namespace card = velwin::card;
namespace xchanger = velwin::xchanger;

// The question's estimate and the job's own time for writing image onto a
// card holding old, without a backup file (the file is not the link's time).
void EstimateAgainstJob(std::uint8_t mbit, const std::vector<std::uint8_t>& old,
                        const std::vector<std::uint8_t>& image, const std::string& name,
                        std::uint64_t jitterEvery = 0) {
  velwin::xchanger::sim::SimConfig config = velwin::card::bench::CardConfig(mbit, old);
  if (jitterEvery != 0) {
    // A slower port that stops for a millisecond and a half now and then.
    config.accessNs = 4000;
    config.jitterEvery = jitterEvery;
    config.jitterUs = 1500;
  }
  Rig rig(std::move(config));
  const double t0 = rig.Seconds();
  const card::WriteCheck check = card::CheckWrite(rig.cart, rig.port.Clock(), image);
  card::PreviewWrite(rig.cart, rig.port.Clock(), check, image, false, false, rig.pump);
  const double asked = rig.Seconds();
  const xchanger::LinkTiming link = xchanger::TimeLink(rig.link, rig.port.Clock());
  const double estimate =
      card::MostWriteSeconds(*check.chip, image, false, rig.link.LinkMode(), link);
  card::JobControl control;
  card::CardWriteOptions options;
  options.backup = false;
  const double start = rig.Seconds();
  const card::CardWriteResult result = card::WriteCard(rig.cart, rig.port.Clock(), image, options,
                                                       control, [](const std::string&) {});
  if (!result.outcome.Ok())
    std::fprintf(stderr, "%s: %s\n", name.c_str(), result.outcome.message.c_str());
  Figures()[name + " estimate / job"] = estimate / (rig.Seconds() - start);
  Figures()[name + " before the question, simulated ms"] = (asked - t0) * 1e3;
}

void BM_EstimateAgainstJob(benchmark::State& state) {
  const auto mbit = static_cast<std::uint8_t>(state.range(0));
  const xchanger::FlashChipSpec& chip = *xchanger::FlashChipForCard(mbit);
  const auto old = Pattern(chip.sizeBytes, 1);
  const std::string name = std::to_string(mbit) + " Mbit";
  for (auto _ : state) {
    EstimateAgainstJob(mbit, old, Pattern(chip.sizeBytes, 2), name + " every page differs,");
    EstimateAgainstJob(mbit, old, old, name + " card holds the image,");
    if (mbit == 4)
      EstimateAgainstJob(mbit, old, Pattern(chip.sizeBytes, 2),
                         name + " every page differs, 4 us access, pauses,", 20000);
  }
}

BENCHMARK(BM_EstimateAgainstJob)->Arg(4)->Arg(16)->Arg(64)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  return velwin::card::bench::RunAndPrintFigures(argc, argv);
}
