// SPDX-License-Identifier: MIT
// The helper thread of a large parse, which readies arena chunks, must change nothing but the
// time it takes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "pages/helper_thread.h"
#include "pages/page_supply.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "api/library.h"
#include "api/symbol_table.h"
#include "grammar_test_util.h"
#include "test_util.h"

namespace k8map {
namespace {

// Map text of about size bytes: entries, continued entries, headings, CR LF line ends.
std::string MapText(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  for (int i = 0; text.size() < size; ++i) {
    std::string end = random() % 5 == 0 ? "\r\n" : "\n";
    text += "  symbol_" + std::to_string(i) + std::string(1 + random() % 20, ' ') +
            (random() % 2 ? "Addr." : "loc.") + "   g   0x" + std::to_string(random() % 99999) +
            end;
    if (i % 97 == 0) text += "Module: m" + std::to_string(i) + ".obj" + end + end;
    if (i % 31 == 0) text += "  part+ Addr. a 0x1" + end + "  more+" + end + "  end" + end;
  }
  return text;
}

struct HelperCase {
  const char* name;
  std::string text;
};

TEST(ChunkSupply, SameOutcomeWithAndWithout) {
  // Records, and a table's names, of several full-size arena chunks.
  std::string big = MapText(12 << 20, 1);
  std::string broken = MapText(300000, 2);
  broken.insert(200000, "\n  bad+ Addr. g 0x1\n  bad Addr. g 0x1\n");
  std::string too_long = MapText(200000, 3) + "  " + std::string(9000, 'x') + "\n";
  std::string ctrl_z = MapText(300000, 4);
  ctrl_z.insert(150001, "\x1a");
  const HelperCase cases[] = {
      {"large", big},
      {"syntax error", broken},
      {"token too large", too_long},
      {"ctrl-z", ctrl_z},
      {"exact blocks", MapText(64 * 1024 * 3, 5).substr(0, 64 * 1024 * 3)},
      {"empty", ""},
      {"all carriage returns", std::string(200000, '\r')},
  };
  auto with = std::make_unique<Library>();
  auto without = std::make_unique<Library>();
  with->parse.chunk_supply_threshold = 0;
  without->parse.chunk_supply_threshold = 1LL << 62;
  // A table's array is made ready by the helper too, a step at a time.
  auto table_with = std::make_unique<SymbolTable>();
  auto table_without = std::make_unique<SymbolTable>();
  table_with->parse.chunk_supply_threshold = 0;
  table_without->parse.chunk_supply_threshold = 1LL << 62;
  auto table_outcome = [](SymbolTable& table, const std::string& path) {
    std::string out = std::to_string(ParseMapFile(&table, path.c_str()));
    out += GetSymbolTableError(&table);
    for (std::size_t i = 0; i < table.store.count; ++i) {
      out += std::string(" ") + table.store.symbols[i].name + "=" +
             std::to_string(table.store.symbols[i].value);
    }
    FreeSymbols(table.store);
    return out;
  };
  for (const HelperCase& c : cases) {
    std::string path = test::WriteTempFile(c.text);
    EXPECT_EQ(test::ParseOutcome(*with, path), test::ParseOutcome(*without, path)) << c.name;
    EXPECT_EQ(table_outcome(*table_with, path), table_outcome(*table_without, path)) << c.name;
  }
}

// When the system refuses the helper its stack or its thread, the parses do without it: the same
// records and symbols (a large table's index is then sorted by one thread).
TEST(ChunkSupply, RefusedHelpersChangeNothing) {
  std::string path = test::WriteTempFile(MapText(3 << 20, 9));
  auto lib = std::make_unique<Library>();
  auto table = std::make_unique<SymbolTable>();
  lib->parse.chunk_supply_threshold = table->parse.chunk_supply_threshold = 0;
  auto outcome = [&] {
    std::string records = test::ParseOutcome(*lib, path);
    std::string symbols = std::to_string(ParseMapFile(table.get(), path.c_str()));
    for (std::uint32_t address : {0x0u, 0x1234u, 0xFFFFFFFFu}) {
      const MapSymbol* found = FindSymbolByAddress(table.get(), address);
      symbols += std::string(" ") + (found != nullptr ? found->name : "-");
    }
    symbols += " " + std::to_string(GetSymbolCount(table.get()));
    FreeSymbols(table->store);
    return records + symbols;
  };
  std::string normal = outcome();
  for (unsigned refusals : {HelperThread::kRefuseStack, HelperThread::kRefuseThread,
                            HelperThread::kRefuseStack | HelperThread::kRefuseThread}) {
    HelperThread::refusals = refusals;
    EXPECT_EQ(outcome(), normal) << refusals;
  }
  HelperThread::refusals = 0;
}

// The writer of a region gets room for what it needs, however its writes fall on the steps.
TEST(ChunkSupply, RegionHandsOverRoomInOrder) {
  constexpr std::size_t kSize = 5 << 20, kNeed = 24;
  std::unique_ptr<char[]> region(new char[kSize]);
  ChunkSupply supply;
  EXPECT_EQ(supply.TakeRegion(region.get(), kNeed), nullptr);  // no region yet
  supply.SetRegion(region.get(), region.get() + kSize);
  char* at = region.get();
  while (at + kNeed <= region.get() + kSize) {
    char* limit = supply.TakeRegion(at, kNeed);
    ASSERT_GE(limit - at, static_cast<std::ptrdiff_t>(kNeed));
    ASSERT_LE(limit, region.get() + kSize);
    for (; at + kNeed <= limit; at += kNeed) std::memset(at, 0x5a, kNeed);
  }
  supply.SetRegion(nullptr, nullptr);
  for (char* p = region.get(); p < at; ++p) ASSERT_EQ(*p, 0x5a) << p - region.get();
}

// The record arenas' chunks, and a table's names' chunks of large pages (at a large-page
// boundary where the system offers large pages).
TEST(ChunkSupply, ChunkSupplyHandsOutWritableFullSizeChunks) {
  for (bool large_pages : {false, true}) {
    std::size_t size = large_pages ? kTableChunkSize : kSuppliedChunkSize;
    ChunkSupply supply(size, large_pages);
    int taken = 0;
    for (int attempt = 0; attempt < 20000 && taken < 5; ++attempt) {
      void* chunk = supply.Take();
      if (chunk == nullptr) {  // not ready yet (a parse would allocate for itself)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
#if defined(__linux__)
      if (large_pages) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(chunk) % size, 0u);
      }
#endif
      std::memset(chunk, 0x5a, size);
      if (large_pages) {
        FreeLargePageChunk(chunk, size);
      } else {
        std::free(chunk);
      }
      ++taken;
    }
    EXPECT_EQ(taken, 5) << large_pages;
  }
}  // chunks still ready are freed with the supply (the leak checker sees to it)

// Address-space limits are meaningful only for the plain release build: sanitizers reserve
// address space of their own.
#if defined(__linux__) && defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
struct LimitedOutcome {
  int result = -2;  // -2: the child did not report
  int count = 0;
  std::uint64_t hash = 0;
  bool operator==(const LimitedOutcome&) const = default;
};

// Parses path in a child process whose address space is limited to limit bytes, with or
// without the helper thread; the records are summed up without allocating.
LimitedOutcome ParseUnderLimit(const std::string& path, rlim_t limit, bool helper) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    close(pipe_ends[0]);
    auto* lib = new Library;
    lib->parse.chunk_supply_threshold = helper ? 0 : 1LL << 62;
    rlimit cap{limit, limit};
    LimitedOutcome out;
    if (setrlimit(RLIMIT_AS, &cap) == 0) {
      out.result = RunMapParse(*lib, path.c_str());
      out.hash = 14695981039346656037u;
      for (const SymbolRecord* r = lib->records.head; r != nullptr; r = r->next, ++out.count) {
        for (const char* c = r->name; *c != '\0'; ++c) out.hash = (out.hash ^ *c) * 1099511628211u;
        out.hash = (out.hash ^ r->value) * 1099511628211u;
      }
    }
    ssize_t written = write(pipe_ends[1], &out, sizeof out);
    _exit(written == sizeof out ? 0 : 1);
  }
  close(pipe_ends[1]);
  LimitedOutcome out;
  if (child < 0 || read(pipe_ends[0], &out, sizeof out) != sizeof out) out = {};
  close(pipe_ends[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return out;
}

TEST(ChunkSupply, NeverCostsRecordsUnderAnAddressSpaceLimit) {
  std::string path = test::WriteTempFile(MapText(4 << 20, 6));
  long pages = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  ASSERT_NE(statm, nullptr);
  ASSERT_EQ(std::fscanf(statm, "%ld", &pages), 1);
  std::fclose(statm);
  const rlim_t base = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
  int complete_without_helper = 0;
  for (rlim_t extra = 512 * 1024; extra <= 24 * 1024 * 1024; extra += 512 * 1024) {
    LimitedOutcome without = ParseUnderLimit(path, base + extra, false);
    if (without.result != 0) continue;
    ++complete_without_helper;
    EXPECT_EQ(ParseUnderLimit(path, base + extra, true), without)
        << "limit: " << (base + extra) / 1024 << " KiB";
  }
  EXPECT_GT(complete_without_helper, 0);
}
#endif

}  // namespace
}  // namespace k8map
