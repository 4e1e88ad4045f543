// What the two builds of the side-by-side reading share, included by
// wide_values.cpp at the start of each build's namespace; the build then
// defines four_values. No include guard: included once per build.

// The first 8 bytes of each token, one 64-bit lane each, the first byte lowest.
[[gnu::always_inline]] inline __m256i load_lanes(const char* const tokens[4]) {
  std::uint64_t w[4];
  for (int i = 0; i < 4; ++i) __builtin_memcpy(&w[i], tokens[i], 8);
  return _mm256_set_epi64x(static_cast<std::int64_t>(w[3]), static_cast<std::int64_t>(w[2]),
                           static_cast<std::int64_t>(w[1]), static_cast<std::int64_t>(w[0]));
}

// The number of eight digits 0..9 in each lane, the first byte the most
// significant: pairs, then fours, then eights.
[[gnu::always_inline]] inline __m256i lanes_number(__m256i digits) {
  const __m256i pairs = _mm256_maddubs_epi16(digits, _mm256_set1_epi16(0x010a));
  const __m256i fours = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
  return _mm256_add_epi64(_mm256_mul_epu32(fours, _mm256_set1_epi64x(10000)), _mm256_srli_epi64(fours, 32));
}

// The values of four tokens (see four_short_values); defined by each build.
inline bool four_values(const char* const tokens[4], double values[4]);

// four_values as a function of this build, for tests.
bool convert(const char* const tokens[4], double values[4]) { return four_values(tokens, values); }

// Reads up to n records from the index as the record kernel does, four
// values at a time (see ReadWide).
int read_records(TokenIndex& ix, const WantedValues& wanted, DailyRecord* recs, int n) {
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
