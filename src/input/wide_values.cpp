#include "input/wide_values.h"

#include <cstdint>
#include <cstring>

#include "common/target.h"
#include "input/record_kernel.h"

// GCC 12's AVX-512 intrinsics fill lanes they leave alone from an
// uninitialised variable and, inlined, warn of it (GCC bug 105593).
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 13
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#if TD_X86_BUILDS
#include <immintrin.h>

TD_TARGET_BEGIN(TD_AVX512_TARGET)
namespace td {
namespace {
// The lowest set byte of each lane's byte mask, as a bit offset (-1: none).
inline __m256i first_of(__mmask32 bytes) {
  const __m256i m = _mm256_movm_epi8(bytes);
  const __m256i lowest = _mm256_and_si256(m, _mm256_sub_epi64(_mm256_setzero_si256(), m));
  return _mm256_sub_epi64(_mm256_set1_epi64x(63), _mm256_lzcnt_epi64(lowest));
}

// Each lane holds the first 8 bytes of one token, the first byte lowest.
// Byte offsets are kept as bit offsets (8 per byte), as the shifts use them.
[[gnu::always_inline]] inline bool four_values(const char* const tokens[4], double values[4]) {
  std::uint64_t w[4];
  for (int i = 0; i < 4; ++i) std::memcpy(&w[i], tokens[i], 8);
  const __m256i v = _mm256_set_epi64x(static_cast<std::int64_t>(w[3]), static_cast<std::int64_t>(w[2]),
                                      static_cast<std::int64_t>(w[1]), static_cast<std::int64_t>(w[0]));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi64x(1);

  // The token ends at its first white space (every byte of a number is
  // above ' '); it must lie within the 8 bytes.
  const __m256i end = first_of(_mm256_cmple_epu8_mask(v, _mm256_set1_epi8(' ')));
  if (_mm256_cmpgt_epi64_mask(zero, end) != 0) return false;
  // A point before the end; -1 where there is none.
  const __m256i in_token = _mm256_sub_epi64(_mm256_sllv_epi64(one, end), one);
  const __mmask32 points =
      _mm256_mask_cmpeq_epi8_mask(_mm256_test_epi8_mask(in_token, in_token), v, _mm256_set1_epi8('.'));
  const __m256i point = first_of(points);
  const __mmask8 has_point = _mm256_cmpgt_epi64_mask(point, _mm256_set1_epi64x(-1));
  // The bytes above the point move down one (a shift by 2^64 - 1 gives 0,
  // so without a point every byte stays).
  const __m256i below = _mm256_sub_epi64(_mm256_sllv_epi64(one, point), one);
  const __m256i closed = _mm256_ternarylogic_epi64(below, v, _mm256_srli_epi64(v, 8), 0xca);

  const __m256i first = _mm256_and_si256(v, _mm256_set1_epi64x(0xff));
  const __mmask8 negative = _mm256_cmpeq_epi64_mask(first, _mm256_set1_epi64x('-'));
  const __mmask8 sign = negative | _mm256_cmpeq_epi64_mask(first, _mm256_set1_epi64x('+'));
  // Digits 0..9, the sign's byte a leading 0, then the last digit moved to
  // the top byte: the zeros shifted in lead, so the lane is the number.
  __m256i digits = _mm256_sub_epi8(closed, _mm256_set1_epi8('0'));
  digits = _mm256_mask_and_epi64(digits, sign, digits, _mm256_set1_epi64x(~std::int64_t{0xff}));
  const __m256i digits_end = _mm256_mask_sub_epi64(end, has_point, end, _mm256_set1_epi64x(8));
  digits = _mm256_sllv_epi64(digits, _mm256_sub_epi64(_mm256_set1_epi64x(64), digits_end));
  // Pairs, then fours, then eights, the first byte the most significant.
  const __m256i pairs = _mm256_maddubs_epi16(digits, _mm256_set1_epi16(0x010a));
  const __m256i fours = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
  const __m256i number =
      _mm256_add_epi64(_mm256_mul_epu32(fours, _mm256_set1_epi64x(10000)), _mm256_srli_epi64(fours, 32));

  // Below 10^7 the number is a double exactly, and so is 10^k: one division
  // rounds correctly.
  const __m256i fraction_digits =
      _mm256_maskz_sub_epi64(has_point, _mm256_srli_epi64(_mm256_sub_epi64(end, point), 3), one);
  const __m512d powers = _mm512_setr_pd(1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7);
  const __m256d scale =
      _mm512_castpd512_pd256(_mm512_permutexvar_pd(_mm512_castsi256_si512(fraction_digits), powers));
  __m256d value = _mm256_div_pd(_mm256_cvtepi64_pd(number), scale);
  value = _mm256_or_pd(value, _mm256_castsi256_pd(_mm256_maskz_mov_epi64(
                                  negative, _mm256_set1_epi64x(static_cast<std::int64_t>(1ULL << 63)))));
  _mm256_storeu_pd(values, value);
  return true;
}

} // namespace

bool four_short_values(const char* const tokens[4], double values[4]) { return four_values(tokens, values); }

int wide_read_records(TokenIndex& ix, const WantedValues& wanted, DailyRecord* recs, int n) {
  int i = 0;
  for (; i < n && ix.next + kFieldsPerRecord <= ix.count; ++i) {
    const std::uint32_t* const s = ix.start + ix.next;
    DailyRecord& rec = recs[i];
    if (!kernel_integers(ix, s, rec)) [[unlikely]]
      break;
    const char* const tokens[4] = {
        ix.base + s[kIntsPerRecord + wanted.lanes[0]], ix.base + s[kIntsPerRecord + wanted.lanes[1]],
        ix.base + s[kIntsPerRecord + wanted.lanes[2]], ix.base + s[kIntsPerRecord + wanted.lanes[3]]};
    double v[4];
    if (four_values(tokens, v)) [[likely]] {
      for (int k = 0; k < 4; ++k) rec.values[wanted.lanes[k]] = v[k];
    } else if (!kernel_values<false>(ix, s, wanted.codes, rec)) {
      break;
    }
    ix.next += kFieldsPerRecord;
  }
  return i;
}

} // namespace td
TD_TARGET_END
#else
namespace td {
bool four_short_values(const char* const*, double*) { return false; }
int wide_read_records(TokenIndex&, const WantedValues&, DailyRecord*, int) { return 0; }
} // namespace td
#endif
