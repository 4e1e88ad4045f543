// Code built for more than the baseline instructions: every function defined
// between TD_TARGET_BEGIN("avx2,bmi") and TD_TARGET_END may use them, and is
// called only where the processor has them (see ReaderBuild). Functions
// defined before, in headers, stay baseline code and may be inlined there.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__)
#define TD_X86_BUILDS 1
#else
#define TD_X86_BUILDS 0
#endif

// GCC 12's AVX-512 intrinsics fill lanes they leave alone from an
// uninitialised variable and, inlined, warn of it (GCC bug 105593): the
// files that include them include this header first.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 13
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define TD_AVX2_TARGET "avx2,bmi,bmi2"
#define TD_AVX512_TARGET "avx512f,avx512bw,avx512vl,avx512dq,avx512cd,avx512vbmi2,avx2,bmi,bmi2"

#define TD_PRAGMA(x) _Pragma(#x)
#if defined(__clang__)
#define TD_TARGET_BEGIN(t) TD_PRAGMA(clang attribute push(__attribute__((target(t))), apply_to = function))
#define TD_TARGET_END TD_PRAGMA(clang attribute pop)
#else
#define TD_TARGET_BEGIN(t) TD_PRAGMA(GCC push_options) TD_PRAGMA(GCC target(t))
#define TD_TARGET_END TD_PRAGMA(GCC pop_options)
#endif
