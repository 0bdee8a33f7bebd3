// SPDX-License-Identifier: MIT
#include "scanner/token_codes.h"

namespace k8map {

const char* TokenName(int code) {
  static const char* const kNames[] = {
#define K8MAP_TOKEN_NAME(code, terminal) #code,
      K8MAP_TOKENS(K8MAP_TOKEN_NAME)
#undef K8MAP_TOKEN_NAME
  };
  if (code == END_OF_INPUT) return "END_OF_INPUT";
  if (code < kFirstTokenCode || code > kLastTokenCode) return nullptr;
  return kNames[code - kFirstTokenCode];
}

}  // namespace k8map
