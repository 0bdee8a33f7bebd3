// SPDX-License-Identifier: MIT
// Searches of the input for single bytes: the next line feed of a line left to the rules, the
// first carriage return or Ctrl-Z of a block read (found while the block is copied). Sixty-four
// bytes a step with AVX2, sixteen with SSE2, else a byte at a time, as the parse's choice of
// line reader says (scanner/line_readers.h); the C library's memchr is not used, as some are a
// byte at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace k8map {

enum class SearchWidth : std::uint8_t { kByte, kSse2, kAvx2 };

// The first byte equal to a in [p, p + length), or null.
const char* FindByte(SearchWidth width, const char* p, std::size_t length, char a);

// The first byte equal to a or b in [p, p + length), or null; the bytes before it (all of them
// when there is none) are copied to out, which has room for length bytes (out may be p
// itself). Bytes from the one found on may be copied too.
const char* CopyUntilEitherByte(SearchWidth width, char* out, const char* p, std::size_t length,
                                char a, char b);

}  // namespace k8map
