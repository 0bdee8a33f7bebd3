// SPDX-License-Identifier: MIT
// Vector code on x86, compiled per function and chosen at run time. SSE2 is part of every
// x86-64 processor; on 32-bit x86 (the Windows DLL) the baseline has no vector unit, so SSE2
// functions carry a target attribute there too, and the processor is asked before they run.
// AVX2 and BMI functions carry one everywhere.
#pragma once

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define K8MAP_X86 1
#include <immintrin.h>
#if defined(__SSE2__)
#define K8MAP_SSE2_TARGET
#else
#define K8MAP_SSE2_TARGET __attribute__((target("sse2")))
#endif
#define K8MAP_AVX2_TARGET __attribute__((target("avx2,bmi,bmi2,popcnt")))
#else
#define K8MAP_X86 0
#define K8MAP_SSE2_TARGET
#define K8MAP_AVX2_TARGET
#endif

namespace k8map {

// Whether this processor (and its system) runs SSE2 code; AVX2, BMI, BMI2 and POPCNT code.
bool CpuHasSse2();
bool CpuHasAvx2();

}  // namespace k8map
