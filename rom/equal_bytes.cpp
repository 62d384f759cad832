#include "rom/equal_bytes.h"

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELWIN_X86_VECTORS 1
#endif

namespace velwin::rom {
namespace {

// The vector loops take rounds of one KiB: four accumulators of the bits that
// differ, looked at once a round. So the loop runs at the speed the cache
// delivers the bytes, and a block that is not filler is still left early.
constexpr std::size_t kRound = 1024;

#if defined(VELWIN_X86_VECTORS)
// Each returns how many bytes it found equal in whole rounds; it stops at the
// first round that differs, or where less than a round is left.
__attribute__((target("sse2"))) std::size_t Sse2EqualRounds(const std::uint8_t* bytes,
                                                            std::size_t count, std::uint8_t value) {
  const __m128i pattern = _mm_set1_epi8(static_cast<char>(value));
  std::size_t i = 0;
  for (; i + kRound <= count; i += kRound) {
    __m128i diff0 = _mm_setzero_si128();
    __m128i diff1 = diff0;
    __m128i diff2 = diff0;
    __m128i diff3 = diff0;
    for (std::size_t at = i; at < i + kRound; at += 64) {
      const auto* v = reinterpret_cast<const __m128i*>(bytes + at);
      diff0 = _mm_or_si128(diff0, _mm_xor_si128(_mm_loadu_si128(v), pattern));
      diff1 = _mm_or_si128(diff1, _mm_xor_si128(_mm_loadu_si128(v + 1), pattern));
      diff2 = _mm_or_si128(diff2, _mm_xor_si128(_mm_loadu_si128(v + 2), pattern));
      diff3 = _mm_or_si128(diff3, _mm_xor_si128(_mm_loadu_si128(v + 3), pattern));
    }
    const __m128i diff = _mm_or_si128(_mm_or_si128(diff0, diff1), _mm_or_si128(diff2, diff3));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(diff, _mm_setzero_si128())) != 0xFFFF)
      break;
  }
  return i;
}

// Twice as wide: the second-level cache hands over 32 bytes a cycle, which the
// 16-byte loop cannot take in.
__attribute__((target("avx2"))) std::size_t Avx2EqualRounds(const std::uint8_t* bytes,
                                                            std::size_t count, std::uint8_t value) {
  const __m256i pattern = _mm256_set1_epi8(static_cast<char>(value));
  std::size_t i = 0;
  for (; i + kRound <= count; i += kRound) {
    __m256i diff0 = _mm256_setzero_si256();
    __m256i diff1 = diff0;
    __m256i diff2 = diff0;
    __m256i diff3 = diff0;
    for (std::size_t at = i; at < i + kRound; at += 128) {
      const auto* v = reinterpret_cast<const __m256i*>(bytes + at);
      diff0 = _mm256_or_si256(diff0, _mm256_xor_si256(_mm256_loadu_si256(v), pattern));
      diff1 = _mm256_or_si256(diff1, _mm256_xor_si256(_mm256_loadu_si256(v + 1), pattern));
      diff2 = _mm256_or_si256(diff2, _mm256_xor_si256(_mm256_loadu_si256(v + 2), pattern));
      diff3 = _mm256_or_si256(diff3, _mm256_xor_si256(_mm256_loadu_si256(v + 3), pattern));
    }
    const __m256i diff =
        _mm256_or_si256(_mm256_or_si256(diff0, diff1), _mm256_or_si256(diff2, diff3));
    if (!_mm256_testz_si256(diff, diff))
      break;
  }
  return i;
}
#endif

bool WordsEqual(const std::uint8_t* bytes, std::size_t count, std::uint8_t value) {
  const std::uint64_t pattern = 0x0101010101010101ULL * value;
  std::uint64_t diff = 0;
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + i, sizeof word);
    diff |= word ^ pattern;
  }
  for (; i < count; ++i)
    diff |= static_cast<std::uint8_t>(bytes[i] ^ value);
  return diff == 0;
}

}  // namespace

const std::vector<CompareWidth>& CompareWidths() {
  static const std::vector<CompareWidth> widths = [] {
    std::vector<CompareWidth> found{CompareWidth::kWord};
#if defined(VELWIN_X86_VECTORS)
    if (__builtin_cpu_supports("sse2"))
      found.push_back(CompareWidth::kSse2);
    if (__builtin_cpu_supports("avx2"))
      found.push_back(CompareWidth::kAvx2);
#endif
    return found;
  }();
  return widths;
}

bool AllBytesEqual(const std::uint8_t* bytes, std::size_t count, std::uint8_t value,
                   CompareWidth width) {
  std::size_t equal = 0;
#if defined(VELWIN_X86_VECTORS)
  if (width != CompareWidth::kWord) {
    equal = width == CompareWidth::kAvx2 ? Avx2EqualRounds(bytes, count, value)
                                         : Sse2EqualRounds(bytes, count, value);
    if (equal + kRound <= count)
      return false;  // a whole round differed
  }
#else
  (void)width;
#endif
  // A word at a time for what is left (or for everything without vectors).
  return WordsEqual(bytes + equal, count - equal, value);
}

bool AllBytesEqual(const std::uint8_t* bytes, std::size_t count, std::uint8_t value) {
  static const CompareWidth widest = CompareWidths().back();
  return AllBytesEqual(bytes, count, value, widest);
}

}  // namespace velwin::rom
