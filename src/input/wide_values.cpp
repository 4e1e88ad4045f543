#include "input/wide_values.h"

#include <cstdint>

#include "common/target.h"
#include "input/record_kernel.h"

#if TD_X86_BUILDS
#include <immintrin.h>

// Both builds put the first 8 bytes of each token in a 64-bit lane, the
// first byte lowest, and give byte offsets as bit offsets (8 per byte), as
// the shifts take them. Then, for tokens the index has proved well formed:
// the token ends at its first white space (every byte of a number is above
// ' '), which must lie within the 8 bytes; the bytes above a point move down
// one; the digits, the sign's byte a leading 0, have their last digit moved
// to the top byte, so that the zeros shifted in lead and the lane holds the
// number (pairs, then fours, then eights); below 10^7 the number is a double
// exactly, and so is 10^k: one division rounds correctly. What both builds
// share is in wide_records.h.

TD_TARGET_BEGIN(TD_AVX2_TARGET)
namespace td::wide_avx2 {
#include "input/wide_records.h"

[[gnu::always_inline]] inline bool four_values(const char* const tokens[4], double values[4]) {
  const __m256i v = load_lanes(tokens);
  const __m256i one = _mm256_set1_epi64x(1);
  // The end and the point (64: none) of each lane, from the byte masks.
  const __m256i space = _mm256_set1_epi8(' ');
  const auto ws =
      static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(v, space), space)));
  const auto pt =
      static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('.'))));
  std::int64_t end[4], point[4];
  for (int i = 0; i < 4; ++i) {
    const std::uint32_t lane_ws = (ws >> (8 * i)) & 0xff;
    if (lane_ws == 0) return false;
    const int e = std::countr_zero(lane_ws);
    const std::uint32_t lane_pt = (pt >> (8 * i)) & ((1u << e) - 1);
    end[i] = 8 * e;
    point[i] = lane_pt != 0 ? 8 * std::countr_zero(lane_pt) : 64;
  }
  const __m256i ends = _mm256_set_epi64x(end[3], end[2], end[1], end[0]);
  const __m256i points = _mm256_set_epi64x(point[3], point[2], point[1], point[0]);
  const __m256i has_point = _mm256_cmpgt_epi64(_mm256_set1_epi64x(64), points);
  // A shift by 64 gives 0: without a point every byte stays.
  const __m256i below = _mm256_sub_epi64(_mm256_sllv_epi64(one, points), one);
  const __m256i closed =
      _mm256_or_si256(_mm256_and_si256(below, v), _mm256_andnot_si256(below, _mm256_srli_epi64(v, 8)));

  const __m256i low_byte = _mm256_set1_epi64x(0xff);
  const __m256i first = _mm256_and_si256(v, low_byte);
  const __m256i negative = _mm256_cmpeq_epi64(first, _mm256_set1_epi64x('-'));
  const __m256i sign = _mm256_or_si256(negative, _mm256_cmpeq_epi64(first, _mm256_set1_epi64x('+')));
  __m256i digits = _mm256_sub_epi8(closed, _mm256_set1_epi8('0'));
  digits = _mm256_andnot_si256(_mm256_and_si256(sign, low_byte), digits);
  const __m256i digits_end = _mm256_add_epi64(ends, _mm256_and_si256(has_point, _mm256_set1_epi64x(-8)));
  digits = _mm256_sllv_epi64(digits, _mm256_sub_epi64(_mm256_set1_epi64x(64), digits_end));
  const __m256i number = lanes_number(digits);

  // 10^k from a table of floats (exact up to 10^7), the lanes' k gathered
  // into the low four 32-bit places. The number, below 2^52, becomes a
  // double as the low bits of 2^52.
  const __m256i fraction_digits = _mm256_and_si256(
      has_point, _mm256_sub_epi64(_mm256_srli_epi64(_mm256_sub_epi64(ends, points), 3), one));
  const __m256i k = _mm256_permutevar8x32_epi32(fraction_digits, _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0));
  const __m256 powers = _mm256_setr_ps(1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f);
  const __m256d scale = _mm256_cvtps_pd(_mm256_castps256_ps128(_mm256_permutevar8x32_ps(powers, k)));
  const __m256i two52 = _mm256_set1_epi64x(0x4330000000000000);
  const __m256d unscaled =
      _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(number, two52)), _mm256_castsi256_pd(two52));
  __m256d value = _mm256_div_pd(unscaled, scale);
  value = _mm256_or_pd(value, _mm256_castsi256_pd(_mm256_and_si256(
                                  negative, _mm256_set1_epi64x(static_cast<std::int64_t>(1ULL << 63)))));
  _mm256_storeu_pd(values, value);
  return true;
}

} // namespace td::wide_avx2
TD_TARGET_END

TD_TARGET_BEGIN(TD_AVX512_TARGET)
namespace td::wide_avx512 {
#include "input/wide_records.h"

// The lowest set byte of each lane's byte mask, as a bit offset (-1: none).
inline __m256i first_of(__mmask32 bytes) {
  const __m256i m = _mm256_movm_epi8(bytes);
  const __m256i lowest = _mm256_and_si256(m, _mm256_sub_epi64(_mm256_setzero_si256(), m));
  return _mm256_sub_epi64(_mm256_set1_epi64x(63), _mm256_lzcnt_epi64(lowest));
}

[[gnu::always_inline]] inline bool four_values(const char* const tokens[4], double values[4]) {
  const __m256i v = load_lanes(tokens);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi64x(1);
  const __m256i end = first_of(_mm256_cmple_epu8_mask(v, _mm256_set1_epi8(' ')));
  if (_mm256_cmpgt_epi64_mask(zero, end) != 0) return false;
  // A point before the end; -1 where there is none.
  const __m256i in_token = _mm256_sub_epi64(_mm256_sllv_epi64(one, end), one);
  const __mmask32 points =
      _mm256_mask_cmpeq_epi8_mask(_mm256_test_epi8_mask(in_token, in_token), v, _mm256_set1_epi8('.'));
  const __m256i point = first_of(points);
  const __mmask8 has_point = _mm256_cmpgt_epi64_mask(point, _mm256_set1_epi64x(-1));
  // A shift by 2^64 - 1 gives 0: without a point every byte stays.
  const __m256i below = _mm256_sub_epi64(_mm256_sllv_epi64(one, point), one);
  const __m256i closed = _mm256_ternarylogic_epi64(below, v, _mm256_srli_epi64(v, 8), 0xca);

  const __m256i first = _mm256_and_si256(v, _mm256_set1_epi64x(0xff));
  const __mmask8 negative = _mm256_cmpeq_epi64_mask(first, _mm256_set1_epi64x('-'));
  const __mmask8 sign = negative | _mm256_cmpeq_epi64_mask(first, _mm256_set1_epi64x('+'));
  __m256i digits = _mm256_sub_epi8(closed, _mm256_set1_epi8('0'));
  digits = _mm256_mask_and_epi64(digits, sign, digits, _mm256_set1_epi64x(~std::int64_t{0xff}));
  const __m256i digits_end = _mm256_mask_sub_epi64(end, has_point, end, _mm256_set1_epi64x(8));
  digits = _mm256_sllv_epi64(digits, _mm256_sub_epi64(_mm256_set1_epi64x(64), digits_end));
  const __m256i number = lanes_number(digits);
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

} // namespace td::wide_avx512
TD_TARGET_END

namespace td {

ReadWide choose_wide_reader(ReaderBuild build) {
  if (build == ReaderBuild::avx512) return wide_avx512::read_records;
  return build == ReaderBuild::avx2 ? wide_avx2::read_records : nullptr;
}

bool four_short_values(ReaderBuild build, const char* const tokens[4], double values[4]) {
  if (build == ReaderBuild::avx512) return wide_avx512::convert(tokens, values);
  return build == ReaderBuild::avx2 && wide_avx2::convert(tokens, values);
}

} // namespace td
#else
namespace td {
ReadWide choose_wide_reader(ReaderBuild) { return nullptr; }
bool four_short_values(ReaderBuild, const char* const*, double*) { return false; }
} // namespace td
#endif
