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

namespace td {

void index_tokens_portable(const char* base, std::size_t len, bool ends_data, TokenIndex& ix) {
  portable::index_tokens(base, len, ends_data, ix);
}

#if TD_HAVE_AVX2_BUILD
[[gnu::target("avx2,bmi,bmi2")]] void index_tokens_avx2(const char* base, std::size_t len, bool ends_data,
                                                        TokenIndex& ix) {
  avx2::index_tokens(base, len, ends_data, ix);
}

namespace {
bool cpu_has_avx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
}
} // namespace
#else
void index_tokens_avx2(const char* base, std::size_t len, bool ends_data, TokenIndex& ix) {
  index_tokens_portable(base, len, ends_data, ix);
}

namespace {
bool cpu_has_avx2() { return false; }
} // namespace
#endif

IndexTokens choose_index_tokens(bool portable) {
  return !portable && cpu_has_avx2() ? index_tokens_avx2 : index_tokens_portable;
}

} // namespace td
