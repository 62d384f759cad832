#include "cli/ordered_workers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace velwin::cli {
namespace {

// The first items take longest, so the later ones finish first on the other
// threads; they must still be taken in their order.
TEST(RunInOrder, TakesResultsInTheirOrderWhateverFinishesFirst) {
  for (const unsigned threads : {1u, 3u, 8u}) {
    std::vector<std::size_t> taken;
    RunInOrder<std::size_t>(
        10, threads,
        [](std::size_t i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(i < 2 ? 30 : 1));
          return i * i;
        },
        [&](std::size_t i, std::size_t& square) {
          EXPECT_EQ(square, i * i);
          taken.push_back(i);
        });
    EXPECT_EQ(taken, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9})) << threads;
  }
}

TEST(RunInOrder, AFailedItemStopsTheTakingInItsTurn) {
  for (const unsigned threads : {1u, 4u}) {
    std::vector<std::size_t> taken;
    EXPECT_THROW(RunInOrder<std::size_t>(
                     50, threads,
                     [](std::size_t i) {
                       if (i == 3)
                         throw std::runtime_error("unreadable");
                       return i;
                     },
                     [&](std::size_t i, std::size_t&) { taken.push_back(i); }),
                 std::runtime_error);
    EXPECT_EQ(taken, (std::vector<std::size_t>{0, 1, 2})) << threads;
  }
}

}  // namespace
}  // namespace velwin::cli
