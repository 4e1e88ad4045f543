// The loop of the side-by-side reading, included by wide_values.cpp in the
// namespace of each build, after that build's four_values.
// No include guard: included once per build.

// four_values as a function of this build, for tests.
bool convert(const char* const tokens[4], double values[4]) { return four_values(tokens, values); }

// Reads up to n records from the index as the record kernel does, four
// values at a time (see wide_read_records).
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
