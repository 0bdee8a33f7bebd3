// SPDX-License-Identifier: MIT
// The smallest host: load the library, MapParse, walk the records, FreeAllRecords. Prints the
// record count and a checksum of the values and first name bytes, so the walk cannot be
// skipped. With --record-bytes it also adds up the records' own bytes (node, name and
// terminator), for the memory check; the timed runs leave that out. With --parses N it does
// the whole round (parse, walk, free) N times in one process and prints the seconds per parse
// (best and median), so that process and library start-up (Wine's above all) drop out, and
// how far the process's peak memory rose above what it held before the first parse.
// With --table the round is a symbol table's instead (CreateSymbolTable, ParseMapFile, a walk
// of every symbol, FreeSymbolTable); with --threads N FILE... it is N such rounds at once, one
// thread each, on the files given in turn, and prints the seconds they took together. --notes
// makes the table rounds keep notes. --lookups FILE times a million addresses through
// FindSymbolsByAddress and through FindNearestSymbols (the address kinds, no bound) on one
// table, alternately five times each, and prints both bests and their ratio.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "library_loader.h"

#ifdef _WIN32
#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>
#else
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

struct Round {
  int status = 0;
  long long count = 0;
  long long record_bytes = 0;
  std::uint32_t checksum = 0;
};

Round ParseWalkFree(const MapLibrary& lib, const char* path, bool record_bytes_wanted) {
  Round round;
  round.status = lib.map_parse(path) == 0 ? 0 : 1;
  std::uint32_t value = 0;
  const char* name = nullptr;
  for (int r = lib.get_first_record(&value, &name); r == 0;
       r = lib.get_next_record(&value, &name)) {
    round.checksum += value + static_cast<unsigned char>(name[0]);
    if (record_bytes_wanted) {
      round.record_bytes += static_cast<long long>(sizeof(SymbolRecord) + std::strlen(name) + 1);
    }
    ++round.count;
  }
  lib.free_all_records();
  return round;
}

bool notes_wanted = false;

Round TableRound(const MapLibrary& lib, const char* path, bool record_bytes_wanted) {
  Round round;
  SymbolTable* table = lib.create_symbol_table();
  if (notes_wanted) lib.set_symbol_table_flags(table, K8MAP_TABLE_NOTES);
  round.status = lib.parse_map_file(table, path) == 0 ? 0 : 1;
  if (round.status != 0) std::fprintf(stderr, "%s", lib.get_symbol_table_error(table));
  const MapSymbol* symbols = lib.get_symbols(table);
  std::size_t count = lib.get_symbol_count(table);
  for (std::size_t i = 0; i < count; ++i) {
    round.checksum += symbols[i].value + static_cast<unsigned char>(symbols[i].name[0]);
    if (record_bytes_wanted) {
      round.record_bytes +=
          static_cast<long long>(sizeof(MapSymbol) + std::strlen(symbols[i].name) + 1);
    }
  }
  round.count = static_cast<long long>(count);
  lib.free_symbol_table(table);
  return round;
}

bool table_rounds = false;

Round OneRound(const MapLibrary& lib, const char* path, bool record_bytes_wanted) {
  return table_rounds ? TableRound(lib, path, record_bytes_wanted)
                      : ParseWalkFree(lib, path, record_bytes_wanted);
}

// Seconds on a monotonic clock: QueryPerformanceCounter on Windows.
double Seconds() {
#ifdef _WIN32
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
#else
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#endif
}

// The process's resident memory now and at its peak, in KiB.
struct Resident {
  long long now_kib = 0, peak_kib = 0;
};

Resident ResidentMemory() {
  Resident r;
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
    r.now_kib = static_cast<long long>(counters.WorkingSetSize / 1024);
    r.peak_kib = static_cast<long long>(counters.PeakWorkingSetSize / 1024);
  }
#else
  long pages = 0, resident = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  r.now_kib = resident * (sysconf(_SC_PAGESIZE) / 1024);
  rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) == 0) r.peak_kib = usage.ru_maxrss;
#endif
  return r;
}

}  // namespace

// N table rounds at once, one thread each, on the files in turn; five times, with the best and
// median of the seconds each batch took.
int Threads(const MapLibrary& lib, int threads, const std::vector<const char*>& files) {
  std::vector<double> times;
  long long count = 0;
  int status = 0;
  for (int batch = 0; batch < 5; ++batch) {
    std::vector<Round> rounds(static_cast<std::size_t>(threads));
    std::vector<std::thread> running;
    double start = Seconds();
    for (int t = 0; t < threads; ++t) {
      running.emplace_back([&, t] {
        rounds[static_cast<std::size_t>(t)] =
            TableRound(lib, files[static_cast<std::size_t>(t) % files.size()], false);
      });
    }
    for (std::thread& thread : running) thread.join();
    times.push_back(Seconds() - start);
    count = 0;
    for (const Round& round : rounds) count += round.count, status |= round.status;
  }
  std::sort(times.begin(), times.end());
  std::printf("%d threads, %lld symbols, seconds per batch: best %.5f median %.5f\n", threads,
              count, times.front(), times[times.size() / 2]);
  return status;
}

// A million addresses through both batch finds of one table.
int Lookups(const MapLibrary& lib, const char* path) {
  SymbolTable* table = lib.create_symbol_table();
  if (lib.parse_map_file(table, path) != 0) return 1;
  std::vector<std::uint32_t> addresses(1000000);
  std::uint32_t state = 7;
  for (std::uint32_t& a : addresses) a = state = state * 1664525u + 1013904223u;
  std::vector<const MapSymbol*> answers(addresses.size());
  double best_old = 1e9, best_new = 1e9;
  std::size_t found_old = 0, found_new = 0;
  for (int round = 0; round < 6; ++round) {  // the first builds the index, untimed
    double start = Seconds();
    found_old =
        lib.find_symbols_by_address(table, addresses.data(), addresses.size(), answers.data());
    double middle = Seconds();
    found_new = lib.find_nearest_symbols(table, addresses.data(), addresses.size(),
                                         K8MAP_KINDS_ADDRESS, K8MAP_NO_LIMIT, answers.data());
    double end = Seconds();
    if (round == 0) continue;
    best_old = std::min(best_old, middle - start);
    best_new = std::min(best_new, end - middle);
  }
  std::printf(
      "%zu found: FindSymbolsByAddress best %.5f, FindNearestSymbols best %.5f, ratio %.2f\n",
      found_new, best_old, best_new, best_new / best_old);
  lib.free_symbol_table(table);
  return found_old == found_new ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--notes") == 0) {
    notes_wanted = true;
    --argc, ++argv;
  }
  if (argc > 1 && std::strcmp(argv[1], "--table") == 0) {
    table_rounds = true;
    --argc, ++argv;
  }
  if (argc == 3 && std::strcmp(argv[1], "--lookups") == 0) {
    MapLibrary lib;
    std::string error;
    if (!LoadMapLibrary(lib, &error)) return 1;
    return Lookups(lib, argv[2]);
  }
  bool record_bytes_wanted = argc == 3 && std::strcmp(argv[1], "--record-bytes") == 0;
  int parses = argc == 4 && std::strcmp(argv[1], "--parses") == 0 ? std::atoi(argv[2]) : 0;
  int threads = argc >= 4 && std::strcmp(argv[1], "--threads") == 0 ? std::atoi(argv[2]) : 0;
  if (argc != 2 && !record_bytes_wanted && parses <= 0 && threads <= 0) {
    std::fprintf(stderr,
                 "usage: minimal_host [--notes] [--table] [--record-bytes | --parses N] FILE\n"
                 "       minimal_host --threads N FILE...\n"
                 "       minimal_host --lookups FILE\n");
    return 2;
  }
  const char* path = argv[argc - 1];
  MapLibrary lib;
  std::string error;
  if (!LoadMapLibrary(lib, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (threads > 0) return Threads(lib, threads, std::vector<const char*>(argv + 3, argv + argc));
  if (parses > 0) {
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(parses));
    Resident before = ResidentMemory();
    Round round;
    for (int i = 0; i < parses; ++i) {
      double start = Seconds();
      round = OneRound(lib, path, false);
      times.push_back(Seconds() - start);
    }
    std::sort(times.begin(), times.end());
    long long growth = ResidentMemory().peak_kib - before.now_kib;
    std::printf(
        "%lld records, checksum %u, seconds per parse: best %.5f median %.5f, "
        "peak memory growth %lld KiB\n",
        round.count, static_cast<unsigned>(round.checksum), times.front(), times[times.size() / 2],
        growth);
    return round.status;
  }
  Round round = OneRound(lib, path, record_bytes_wanted);
  std::printf("%lld records, checksum %u", round.count, static_cast<unsigned>(round.checksum));
  if (record_bytes_wanted) std::printf(", record bytes %lld", round.record_bytes);
  std::printf("\n");
  return round.status;
}
