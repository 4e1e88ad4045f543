#include "input/token_index.h"

#include <bit>

#include "common/target.h"
#include "text/scanner.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if TD_X86_BUILDS
#include <immintrin.h>
#endif

// The kernel once per instruction set, each build the function index_tokens
// of a namespace of its own.
namespace td::portable {
#include "input/token_index_kernel.h"
} // namespace td::portable

#if TD_X86_BUILDS
TD_TARGET_BEGIN(TD_AVX2_TARGET)
#define TD_KERNEL_AVX2 1
namespace td::avx2 {
#include "input/token_index_kernel.h"
} // namespace td::avx2
#undef TD_KERNEL_AVX2
TD_TARGET_END

TD_TARGET_BEGIN(TD_AVX512_TARGET)
#define TD_KERNEL_AVX512 1
namespace td::avx512 {
#include "input/token_index_kernel.h"
} // namespace td::avx512
#undef TD_KERNEL_AVX512
TD_TARGET_END
#endif

namespace td {

ReaderBuild reader_build(ReaderBuild widest) {
  ReaderBuild here = ReaderBuild::portable;
#if TD_X86_BUILDS
  // The features are tested with the system's support for their registers.
  __builtin_cpu_init();
#define TD_HAS(f) __builtin_cpu_supports(f)
  if (TD_HAS("avx2") && TD_HAS("bmi") && TD_HAS("bmi2")) here = ReaderBuild::avx2;
  if (here == ReaderBuild::avx2 && TD_HAS("avx512f") && TD_HAS("avx512bw") && TD_HAS("avx512vl") &&
      TD_HAS("avx512dq") && TD_HAS("avx512cd") && TD_HAS("avx512vbmi2"))
    here = ReaderBuild::avx512;
#undef TD_HAS
#endif
  return here < widest ? here : widest;
}

IndexTokens choose_index_tokens(ReaderBuild widest) {
#if TD_X86_BUILDS
  const ReaderBuild build = reader_build(widest);
  if (build == ReaderBuild::avx512) return avx512::index_tokens;
  if (build == ReaderBuild::avx2) return avx2::index_tokens;
#else
  (void)widest;
#endif
  return portable::index_tokens;
}

} // namespace td
