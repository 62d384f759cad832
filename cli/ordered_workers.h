#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace velwin::cli {

// Runs work(i) for every i below count on `threads` threads and hands each
// result to take(i, result) on the calling thread, in the order of i, as soon
// as that result and every one before it are there. With one thread (or one
// item) everything runs on the calling thread, one item after the other.
//
// An exception thrown by work(i) comes out of this function in i's turn, once
// the threads have stopped; the items after i are not taken.
template <typename Result>
void RunInOrder(std::size_t count, unsigned threads, const std::function<Result(std::size_t)>& work,
                const std::function<void(std::size_t, Result&)>& take) {
  if (threads <= 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      Result result = work(i);
      take(i, result);
    }
    return;
  }

  struct Slot {
    bool done = false;
    std::optional<Result> result;
    std::exception_ptr error;
  };
  std::vector<Slot> slots(count);
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};

  const auto worker = [&] {
    for (std::size_t i = next++; i < count && !stop; i = next++) {
      Slot slot;
      try {
        slot.result.emplace(work(i));
      } catch (...) {
        slot.error = std::current_exception();
      }
      slot.done = true;
      {
        const std::lock_guard lock(mutex);
        slots[i] = std::move(slot);
      }
      finished.notify_all();
    }
  };
  std::vector<std::jthread> pool;
  // Declared after the pool, so it is let go of first: on the way out, by a
  // throw or not, the workers are told to stop before they are joined.
  struct StopOnExit {
    std::atomic<bool>& stop;
    ~StopOnExit() { stop = true; }
  } stopOnExit{stop};
  try {
    for (unsigned t = 0; t < threads && t < count; ++t)
      pool.emplace_back(worker);
  } catch (const std::system_error&) {
    // The system gives no more threads: those that run do the work.
  }
  if (pool.empty()) {
    RunInOrder<Result>(count, 1, work, take);
    return;
  }

  for (std::size_t i = 0; i < count; ++i) {
    Slot slot;
    {
      std::unique_lock lock(mutex);
      finished.wait(lock, [&] { return slots[i].done; });
      slot = std::move(slots[i]);
    }
    if (slot.error)
      std::rethrow_exception(slot.error);
    take(i, *slot.result);
  }
}

}  // namespace velwin::cli
