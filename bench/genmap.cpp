// SPDX-License-Identifier: MIT
// genmap BYTES OUTPUT: writes about BYTES bytes of deterministic, realistic map text.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "map_text.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: genmap BYTES OUTPUT\n");
    return 2;
  }
  std::FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  long long target = std::atoll(argv[1]);
  k8map::bench::MapTextGenerator generator;
  std::string chunk;
  for (long long written = 0; written < target;) {
    chunk.clear();
    generator.Append(1 << 20, chunk);  // whole entries, about 1 MiB at a time
    std::size_t take = chunk.size();
    std::fwrite(chunk.data(), 1, take, file);
    written += static_cast<long long>(take);
  }
  std::fclose(file);
  return 0;
}
