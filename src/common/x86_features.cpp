// SPDX-License-Identifier: MIT
#include "common/x86_features.h"

namespace k8map {

bool CpuHasSse2() {
#if K8MAP_X86
  __builtin_cpu_init();
  return __builtin_cpu_supports("sse2");
#else
  return false;
#endif
}

bool CpuHasAvx2() {
#if K8MAP_X86
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
#else
  return false;
#endif
}

}  // namespace k8map
