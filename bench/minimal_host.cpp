// The smallest host: load the library, MapParse, walk the records, FreeAllRecords. Prints the
// record count and a checksum of the values and first name bytes, so the walk cannot be
// skipped. With --record-bytes it also adds up the records' own bytes (node, name and
// terminator), for the memory check; the timed runs leave that out.
#include <cstdio>
#include <cstring>
#include <string>

#include "library_loader.h"

int main(int argc, char** argv) {
  bool record_bytes_wanted = argc == 3 && std::strcmp(argv[1], "--record-bytes") == 0;
  if (argc != 2 && !record_bytes_wanted) return 2;
  const char* path = argv[argc - 1];
  MapLibrary lib;
  std::string error;
  if (!LoadMapLibrary(lib, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  int status = lib.map_parse(path) == 0 ? 0 : 1;
  std::uint32_t value = 0, sum = 0;
  const char* name = nullptr;
  long long count = 0, record_bytes = 0;
  for (int r = lib.get_first_record(&value, &name); r == 0;
       r = lib.get_next_record(&value, &name)) {
    sum += value + static_cast<unsigned char>(name[0]);
    if (record_bytes_wanted) {
      record_bytes += static_cast<long long>(sizeof(SymbolRecord) + std::strlen(name) + 1);
    }
    ++count;
  }
  lib.free_all_records();
  std::printf("%lld records, checksum %u", count, static_cast<unsigned>(sum));
  if (record_bytes_wanted) std::printf(", record bytes %lld", record_bytes);
  std::printf("\n");
  return status;
}
