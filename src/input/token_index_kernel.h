// The structure stage's kernel, included by token_index.cpp once for each
// instruction set it is built for: TD_KERNEL_AVX512 selects 64-byte compares
// into mask registers and flattening by compression, TD_KERNEL_AVX2 32-byte
// compares, otherwise 16-byte ones (or plain byte tests where there is no
// SSE2). The includer opens the namespace and sets the target.
// No include guard: included once per build of the kernel.

#if !defined(TD_INLINE)
#if defined(__GNUC__)
#define TD_INLINE [[gnu::always_inline]] inline
#else
#define TD_INLINE inline
#endif
#endif

// The classes of 64 bytes, bit i standing for byte i. Every byte that is in
// none of them (letters, NUL, bytes above 127, ...) is `other`.
struct Classes {
  std::uint64_t space; // ' ' and \t \n \v \f \r
  std::uint64_t digit; // '0'..'9'
  std::uint64_t point; // '.'
  std::uint64_t sign;  // '+' '-'
  std::uint64_t expo;  // 'e' 'E'
};

#if defined(TD_KERNEL_AVX512)
TD_INLINE __m512i splat(char v) { return _mm512_set1_epi8(v); }
// Unsigned x - lo < n: one compare tests the range lo..lo+n-1.
TD_INLINE std::uint64_t in_range(__m512i x, char lo, char n) {
  return _mm512_cmplt_epu8_mask(_mm512_sub_epi8(x, splat(lo)), splat(n));
}

TD_INLINE Classes classify(const char* p) {
  const __m512i x = _mm512_loadu_si512(p);
  Classes c;
  c.space = _mm512_cmpeq_epi8_mask(x, splat(' ')) | in_range(x, '\t', 5);
  c.digit = in_range(x, '0', 10);
  c.point = _mm512_cmpeq_epi8_mask(x, splat('.'));
  c.sign = _mm512_cmpeq_epi8_mask(x, splat('+')) | _mm512_cmpeq_epi8_mask(x, splat('-'));
  c.expo = _mm512_cmpeq_epi8_mask(_mm512_or_si512(x, splat(0x20)), splat('e'));
  return c;
}
#elif defined(TD_KERNEL_AVX2)
// Adding 0x80 - lo moves lo..lo+n-1 to the n lowest signed bytes, and
// nothing else lands there: one signed compare tests a range.
TD_INLINE __m256i in_range(__m256i x, char lo, int n) {
  return _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(-128 + n)),
                           _mm256_add_epi8(x, _mm256_set1_epi8(static_cast<char>(0x80 - lo))));
}
TD_INLINE __m256i equal(__m256i x, char v) { return _mm256_cmpeq_epi8(x, _mm256_set1_epi8(v)); }
TD_INLINE std::uint64_t bits_of(__m256i m) { return static_cast<std::uint32_t>(_mm256_movemask_epi8(m)); }

TD_INLINE Classes classify(const char* p) {
  const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  const __m256i lower = _mm256_set1_epi8(0x20);
  Classes c;
  c.space = bits_of(_mm256_or_si256(equal(lo, ' '), in_range(lo, '\t', 5))) |
            bits_of(_mm256_or_si256(equal(hi, ' '), in_range(hi, '\t', 5))) << 32;
  c.digit = bits_of(in_range(lo, '0', 10)) | bits_of(in_range(hi, '0', 10)) << 32;
  c.point = bits_of(equal(lo, '.')) | bits_of(equal(hi, '.')) << 32;
  c.sign = bits_of(_mm256_or_si256(equal(lo, '+'), equal(lo, '-'))) |
           bits_of(_mm256_or_si256(equal(hi, '+'), equal(hi, '-'))) << 32;
  // 'E' | 0x20 == 'e', and no other byte becomes 'e' so.
  c.expo = bits_of(equal(_mm256_or_si256(lo, lower), 'e')) | bits_of(equal(_mm256_or_si256(hi, lower), 'e'))
                                                                 << 32;
  return c;
}
#elif defined(__SSE2__)
TD_INLINE __m128i in_range(__m128i x, char lo, int n) {
  return _mm_cmplt_epi8(_mm_add_epi8(x, _mm_set1_epi8(static_cast<char>(0x80 - lo))),
                        _mm_set1_epi8(static_cast<char>(-128 + n)));
}
TD_INLINE __m128i equal(__m128i x, char v) { return _mm_cmpeq_epi8(x, _mm_set1_epi8(v)); }
TD_INLINE std::uint64_t bits_of(__m128i m) { return static_cast<std::uint16_t>(_mm_movemask_epi8(m)); }

TD_INLINE Classes classify(const char* p) {
  Classes c{};
  const __m128i lower = _mm_set1_epi8(0x20);
  for (unsigned k = 0; k < 4; ++k) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    c.space |= bits_of(_mm_or_si128(equal(x, ' '), in_range(x, '\t', 5))) << (16 * k);
    c.digit |= bits_of(in_range(x, '0', 10)) << (16 * k);
    c.point |= bits_of(equal(x, '.')) << (16 * k);
    c.sign |= bits_of(_mm_or_si128(equal(x, '+'), equal(x, '-'))) << (16 * k);
    c.expo |= bits_of(equal(_mm_or_si128(x, lower), 'e')) << (16 * k);
  }
  return c;
}
#else
TD_INLINE Classes classify(const char* p) {
  Classes c{};
  for (unsigned i = 0; i < 64; ++i) {
    const std::uint64_t bit = std::uint64_t{1} << i;
    const char b = p[i];
    if (is_space_byte(b)) c.space |= bit;
    if (static_cast<unsigned char>(b - '0') < 10) c.digit |= bit;
    if (b == '.') c.point |= bit;
    if (b == '+' || b == '-') c.sign |= bit;
    if ((b | 0x20) == 'e') c.expo |= bit;
  }
  return c;
}
#endif

#if defined(TD_KERNEL_AVX512)
// Appends 64 * block + the position of every set bit of `bits` to out[n..]:
// the byte numbers 0..63 compressed by the mask, widened to 32 bits, 16 at a
// store (the index has room for the 15 entries a store may write past the
// last).
TD_INLINE std::uint32_t flatten(std::uint64_t bits, std::uint32_t offset, std::uint32_t* out,
                                std::uint32_t n) {
  const auto count = static_cast<std::uint32_t>(std::popcount(bits));
  const __m512i byte_numbers =
      _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42,
                      41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20,
                      19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i packed = _mm512_maskz_compress_epi8(bits, byte_numbers);
  const __m512i base = _mm512_set1_epi32(static_cast<int>(offset));
  std::uint32_t* const o = out + n;
  const auto put = [&](std::uint32_t at, __m128i part) {
    _mm512_storeu_si512(o + at, _mm512_add_epi32(_mm512_cvtepu8_epi32(part), base));
  };
  put(0, _mm512_castsi512_si128(packed));
  // A token start follows white space, so 64 bytes hold at most 32.
  if (count > 16) [[unlikely]]
    put(16, _mm512_extracti32x4_epi32(packed, 1));
  return n + count;
}
#else
// Appends 64 * block + the position of every set bit of `bits` to out[n..].
// Writes 16 entries whatever the count (the index has room for them), so
// that the usual 8 to 16 tokens of a block take no branch per token. The
// empty asm keeps the compiler from branching out once the bits run out.
TD_INLINE std::uint32_t flatten(std::uint64_t bits, std::uint32_t offset, std::uint32_t* out,
                                std::uint32_t n) {
  const auto count = static_cast<std::uint32_t>(std::popcount(bits));
  std::uint32_t* const o = out + n;
#pragma GCC unroll 16
  for (int i = 0; i < 16; ++i) {
    o[i] = offset + static_cast<std::uint32_t>(std::countr_zero(bits));
    bits &= bits - 1;
    __asm__("" : "+r"(bits));
  }
  if (count > 16) [[unlikely]] {
    for (int i = 16; bits != 0; ++i) {
      o[i] = offset + static_cast<std::uint32_t>(std::countr_zero(bits));
      bits &= bits - 1;
    }
  }
  return n + count;
}

#endif

// x + y + carry_in, and whether it carried out of bit 63.
TD_INLINE std::uint64_t add_carry(std::uint64_t x, std::uint64_t y, std::uint64_t& carry) {
  std::uint64_t s1 = 0, s2 = 0;
  const bool c1 = __builtin_add_overflow(x, y, &s1);
  const bool c2 = __builtin_add_overflow(s1, carry, &s2);
  carry = static_cast<std::uint64_t>(c1 || c2);
  return s2;
}

// The bit of each byte moved to the next byte, the last byte's bit of the
// block before coming in at bit 0.
TD_INLINE std::uint64_t prev(std::uint64_t x, std::uint64_t before) { return (x << 1) | (before >> 63); }

void index_tokens(const char* base, std::size_t len, bool ends_data, TokenIndex& ix) {
  // With the data's end in the segment, one more block (of white space only,
  // if need be) settles the checks of the last token.
  const std::size_t blocks = ends_data ? len / 64 + 1 : (len + 63) / 64;
  ix.base = base;
  ix.next = 0;

  // Pass 1: the byte classes, the token starts, and the first byte that
  // breaks the grammar. The previous byte's classes come in from the block
  // before; the segment starts after white space.
  std::uint64_t S0 = std::uint64_t{1} << 63, D0 = 0, P0 = 0, E0 = 0;
  std::uint64_t exp_sign0 = 0, lead_sign0 = 0, bare_point0 = 0, exp_first0 = 0, exp_second0 = 0;
  std::uint64_t exp_run = 0, frac_run = 0; // carries of the digit runs below
  std::size_t k = 0;
  std::uint64_t bad = 0, any_e = 0;
  for (; k < blocks; ++k) {
    Classes c = classify(base + 64 * k);
    if (const std::size_t left = len - 64 * k; left < 64) [[unlikely]] {
      // Bytes past the segment count as white space.
      const std::uint64_t in = (std::uint64_t{1} << left) - 1;
      c = {c.space | ~in, c.digit & in, c.point & in, c.sign & in, c.expo & in};
    }
    const std::uint64_t S = c.space, D = c.digit, P = c.point, G = c.sign, E = c.expo;
    const std::uint64_t pS = prev(S, S0), pD = prev(D, D0), pP = prev(P, P0);
    any_e |= E;
    const std::uint64_t lead_sign = G & pS;
    const std::uint64_t bare_point = P & ~pD;     // a point with no digit before it
    bad = prev(lead_sign, lead_sign0) & ~(D | P); // after a leading sign: the mantissa
    bad |= prev(bare_point, bare_point0) & ~D;    // ".5" and "-.5", never "." or "-."
    bad |= std::uint64_t{0} - static_cast<std::uint64_t>(S == 0);
    if ((E | (E0 >> 63) | (exp_sign0 >> 63) | (exp_first0 >> 63) | (exp_second0 >> 63) | exp_run) == 0) {
      // No exponent here nor running in from the block before, as in most
      // data files: the rules without one.
      bad |= ~(S | D | P | G);                     // a byte no number has
      bad |= G & ~pS;                              // a sign leads
      bad |= add_carry(D, pP, frac_run) & ~D & ~S; // after a point's digits: white space
      E0 = exp_sign0 = exp_first0 = exp_second0 = 0;
    } else {
      const std::uint64_t pE = prev(E, E0);
      const std::uint64_t exp_sign = G & pE;
      bad |= ~(S | D | P | G | E);           // a byte no number has
      bad |= G & ~(pS | pE);                 // a sign leads, or follows the 'e'
      bad |= E & pS;                         // a mantissa comes first
      bad |= pE & ~(D | G);                  // after 'e': a sign or a digit
      bad |= prev(exp_sign, exp_sign0) & ~D; // after its sign: a digit
      // Adding a bit at the first digit of a run carries through the run and
      // lands on the byte after it: after the exponent's digits the token
      // ends, after a point's digits comes white space or the exponent. (A
      // second point or 'e' is caught here too.)
      const std::uint64_t exp_first = D & (pE | prev(exp_sign, exp_sign0));
      bad |= add_carry(D, exp_first, exp_run) & ~D & ~S;
      bad |= add_carry(D, pP, frac_run) & ~D & ~(S | E);
      // Only values out of range make a well-formed token fail, and the
      // record kernel converts the wanted values alone: tokens that could be
      // out of range go to the field-by-field reader. With at most two
      // exponent digits and fewer than 127 bytes (a token of 127 bytes or
      // more holds a whole block without white space, caught above) no value
      // comes near 10^308.
      const std::uint64_t exp_second = prev(exp_first, exp_first0) & D;
      bad |= prev(exp_second, exp_second0) & D;
      E0 = E, exp_sign0 = exp_sign, exp_first0 = exp_first, exp_second0 = exp_second;
    }
    ix.starts[k] = ~S & pS;
    ix.not_integer[k] = P | E;
    if (bad != 0) [[unlikely]]
      break;
    S0 = S, D0 = D, P0 = P;
    lead_sign0 = lead_sign, bare_point0 = bare_point;
  }
  ix.not_integer[k + 1] = ix.not_integer[k + 2] = 0;
  ix.exponents = any_e != 0;

  // Pass 2: the starts as offsets.
  std::uint32_t n = 0;
  if (bad != 0) {
    // The token holding the fault starts at or before its first bit (a check
    // on the byte after a token marks the white space there): it and all
    // after it are left out.
    const unsigned at = static_cast<unsigned>(std::countr_zero(bad));
    ix.starts[k] &= at == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << at) - 1;
    for (std::size_t j = 0; j <= k; ++j)
      n = flatten(ix.starts[j], static_cast<std::uint32_t>(64 * j), ix.start, n);
    ix.count = n == 0 ? 0 : n - 1;
    return;
  }
  for (std::size_t j = 0; j < blocks; ++j)
    n = flatten(ix.starts[j], static_cast<std::uint32_t>(64 * j), ix.start, n);
  // A token that reaches the end of the segment may go on after it.
  if (!ends_data && n > 0 && len > 0) {
    if (!is_space_byte(base[len - 1])) --n;
  }
  ix.count = n;
}
