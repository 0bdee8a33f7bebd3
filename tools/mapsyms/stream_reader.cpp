// SPDX-License-Identifier: MIT
#include "stream_reader.h"

#include <cerrno>
#include <climits>

#ifdef _WIN32
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

#ifdef _WIN32

// A pipe or console gives what it has; a file as much as asked.
long ReadAvailable(std::FILE* stream, char* buffer, std::size_t size) {
  unsigned int want = size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
  return _read(_fileno(stream), buffer, want);
}

#else

namespace {

bool MoreReady(int fd) {
  pollfd ready{fd, POLLIN, 0};
  return poll(&ready, 1, 0) > 0 && (ready.revents & (POLLIN | POLLHUP)) != 0;
}

}  // namespace

long ReadAvailable(std::FILE* stream, char* buffer, std::size_t size) {
  int fd = fileno(stream);
  if (size > LONG_MAX) size = LONG_MAX;
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = read(fd, buffer + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return got > 0 ? static_cast<long>(got) : -1;  // the next call reports it
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
    if (got < size && !MoreReady(fd)) break;
  }
  return static_cast<long>(got);
}

#endif
