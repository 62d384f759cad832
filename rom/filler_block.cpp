#include "rom/filler_block.h"

#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velwin::rom {
namespace {

// The block being compared on this thread, and where to go back to when a
// touch of it faults. Only plain pointers: the handler reads them.
thread_local sigjmp_buf* tGuardJump = nullptr;
thread_local const std::uint8_t* tGuardBegin = nullptr;
thread_local const std::uint8_t* tGuardEnd = nullptr;

struct sigaction gPreviousBusAction {};

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto* address = static_cast<const std::uint8_t*>(info->si_addr);
  if (tGuardJump != nullptr && address >= tGuardBegin && address < tGuardEnd)
    siglongjmp(*tGuardJump, 1);
  // Not a block of ours: whoever handled SIGBUS before handles it.
  if ((gPreviousBusAction.sa_flags & SA_SIGINFO) != 0 &&
      gPreviousBusAction.sa_sigaction != nullptr) {
    gPreviousBusAction.sa_sigaction(signal, info, context);
    return;
  }
  if (gPreviousBusAction.sa_handler != SIG_DFL && gPreviousBusAction.sa_handler != SIG_IGN) {
    gPreviousBusAction.sa_handler(signal);
    return;
  }
  // The default: the faulting access runs again and ends the program.
  std::signal(SIGBUS, SIG_DFL);
}

void InstallBusHandler() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    // Not blocked while handled: the jump back out of the handler then
    // needs no signal mask restored, so the compare costs no system call.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &gPreviousBusAction);
  });
}

}  // namespace

bool AllBytesEqual(const std::uint8_t* bytes, std::size_t count, std::uint8_t value) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // 64 bytes a round into four accumulators of the bytes that differ, looked
  // at once a KiB: the loop stays at the speed the cache delivers the bytes,
  // and a block that is not filler is still left early.
  const __m128i pattern = _mm_set1_epi8(static_cast<char>(value));
  while (i + 1024 <= count) {
    __m128i diff0 = _mm_setzero_si128();
    __m128i diff1 = diff0;
    __m128i diff2 = diff0;
    __m128i diff3 = diff0;
    for (const std::size_t stop = i + 1024; i < stop; i += 64) {
      const auto* at = reinterpret_cast<const __m128i*>(bytes + i);
      diff0 = _mm_or_si128(diff0, _mm_xor_si128(_mm_loadu_si128(at), pattern));
      diff1 = _mm_or_si128(diff1, _mm_xor_si128(_mm_loadu_si128(at + 1), pattern));
      diff2 = _mm_or_si128(diff2, _mm_xor_si128(_mm_loadu_si128(at + 2), pattern));
      diff3 = _mm_or_si128(diff3, _mm_xor_si128(_mm_loadu_si128(at + 3), pattern));
    }
    const __m128i diff = _mm_or_si128(_mm_or_si128(diff0, diff1), _mm_or_si128(diff2, diff3));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(diff, _mm_setzero_si128())) != 0xFFFF)
      return false;
  }
#endif
  // A word at a time for what is left (or for everything without SSE2).
  const std::uint64_t pattern64 = 0x0101010101010101ULL * value;
  std::uint64_t diff64 = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + i, sizeof word);
    diff64 |= word ^ pattern64;
  }
  for (; i < count; ++i)
    diff64 |= static_cast<std::uint8_t>(bytes[i] ^ value);
  return diff64 == 0;
}

bool IsFillerBlock(const std::uint8_t* bytes, std::size_t count,
                   std::optional<std::uint8_t>& filler) {
  if (!filler)
    filler = bytes[count - 1];
  return AllBytesEqual(bytes, count, *filler);
}

FillerBlock CheckFillerBlock(const std::uint8_t* bytes, std::size_t count,
                             std::optional<std::uint8_t>& filler) {
  InstallBusHandler();
  sigjmp_buf jump;
  // Nothing between here and the jump back owns anything: leaving the
  // compare half-way frees nothing and skips no destructor.
  if (sigsetjmp(jump, 0) != 0) {
    tGuardJump = nullptr;
    return FillerBlock::kFileShrank;
  }
  tGuardBegin = bytes;
  tGuardEnd = bytes + count;
  tGuardJump = &jump;
  const bool allFiller = IsFillerBlock(bytes, count, filler);
  tGuardJump = nullptr;
  return allFiller ? FillerBlock::kFiller : FillerBlock::kNotFiller;
}

}  // namespace velwin::rom
