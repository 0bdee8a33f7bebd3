// SPDX-License-Identifier: MIT
// Reading an input as it arrives, so that a log piped in while it is being written (a serial
// console, `tail -f`) is answered line by line rather than once a whole block has come.
#pragma once

#include <cstddef>
#include <cstdio>

// Reads up to size bytes from the stream's file into buffer: waits for the first byte, then
// takes more only while more is ready at once (a file or a fast writer fills the buffer; a
// slow writer gives what it has written). Returns the count, 0 at the end, -1 on an error.
// The stream's own buffer is not used: read the stream by this alone.
long ReadAvailable(std::FILE* stream, char* buffer, std::size_t size);
