// The smallest host: load the library, MapParse, walk the records, FreeAllRecords. Prints the
// record count and the sum of the values, so the walk cannot be skipped.
#include <cstdio>
#include <cstring>
#include <string>

#include "library_loader.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  MapLibrary lib;
  std::string error;
  if (!LoadMapLibrary(lib, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  int status = lib.map_parse(argv[1]) == 0 ? 0 : 1;
  std::uint32_t value = 0, sum = 0;
  const char* name = nullptr;
  long long count = 0, record_bytes = 0;
  for (int r = lib.get_first_record(&value, &name); r == 0;
       r = lib.get_next_record(&value, &name)) {
    sum += value + static_cast<unsigned char>(name[0]);
    record_bytes += static_cast<long long>(sizeof(SymbolRecord) + std::strlen(name) + 1);
    ++count;
  }
  lib.free_all_records();
  std::printf("%lld records, record bytes %lld, checksum %u\n", count, record_bytes,
              static_cast<unsigned>(sum));
  return status;
}
