// SPDX-License-Identifier: MIT
// Searches of the input for single bytes: the next line feed of a line left to the rules, the
// first carriage return or Ctrl-Z of a block read (found while the block is copied). Sixty-four
// bytes a step with AVX2, sixteen with SSE2, else a byte at a time, as the processor allows
// (chosen once); the C library's memchr is not used, as some are a byte at a time.
#pragma once

#include <cstddef>

namespace k8map {

// The first byte equal to a in [p, p + length), or null.
const char* FindByte(const char* p, std::size_t length, char a);

// The first byte equal to a or b in [p, p + length), or null; the bytes before it (all of them
// when there is none) are copied to out, which has room for length bytes (out may be p
// itself). Bytes from the one found on may be copied too.
const char* CopyUntilEitherByte(char* out, const char* p, std::size_t length, char a, char b);

}  // namespace k8map
