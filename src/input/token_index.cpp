#include "input/token_index.h"

#include <bit>

#include "text/scanner.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TD_HAVE_AVX2_BUILD 1
#endif

namespace td {
namespace portable {
#include "input/token_index_kernel.h"
} // namespace portable
} // namespace td

#if TD_HAVE_AVX2_BUILD
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,bmi2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2")
#endif
#define TD_KERNEL_AVX2 1
namespace td {
namespace avx2 {
#include "input/token_index_kernel.h"
} // namespace avx2
} // namespace td
#undef TD_KERNEL_AVX2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

#if TD_HAVE_AVX2_BUILD
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vbmi2,avx2,bmi,bmi2"))),          \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi2,avx2,bmi,bmi2")
#endif
#define TD_KERNEL_AVX512 1
namespace td {
namespace avx512 {
#include "input/token_index_kernel.h"
} // namespace avx512
} // namespace td
#undef TD_KERNEL_AVX512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

namespace td {

void index_tokens_portable(const char* base, std::size_t len, bool ends_data, TokenIndex& ix) {
  portable::index_tokens(base, len, ends_data, ix);
}

#if TD_HAVE_AVX2_BUILD
[[gnu::target("avx2,bmi,bmi2")]] void index_tokens_avx2(const char* base, std::size_t len, bool ends_data,
                                                        TokenIndex& ix) {
  avx2::index_tokens(base, len, ends_data, ix);
}

[[gnu::target("avx512f,avx512bw,avx512vbmi2,avx2,bmi,bmi2")]] void
index_tokens_avx512(const char* base, std::size_t len, bool ends_data, TokenIndex& ix) {
  avx512::index_tokens(base, len, ends_data, ix);
}

namespace {
ReaderBuild widest_on_this_cpu() {
  __builtin_cpu_init();
  const bool avx2 =
      __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
  // The mask registers' state is checked with the features: the processor
  // and the system both support them.
  if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vbmi2"))
    return ReaderBuild::avx512;
  return avx2 ? ReaderBuild::avx2 : ReaderBuild::portable;
}
} // namespace
#else
void index_tokens_avx2(const char* base, std::size_t len, bool ends_data, TokenIndex& ix) {
  index_tokens_portable(base, len, ends_data, ix);
}

void index_tokens_avx512(const char* base, std::size_t len, bool ends_data, TokenIndex& ix) {
  index_tokens_portable(base, len, ends_data, ix);
}

namespace {
ReaderBuild widest_on_this_cpu() { return ReaderBuild::portable; }
} // namespace
#endif

IndexTokens choose_index_tokens(ReaderBuild widest) {
  const ReaderBuild here = widest_on_this_cpu();
  const ReaderBuild use = here < widest ? here : widest;
  if (use == ReaderBuild::avx512) return index_tokens_avx512;
  return use == ReaderBuild::avx2 ? index_tokens_avx2 : index_tokens_portable;
}

} // namespace td
