// SPDX-License-Identifier: MIT
// Micro-benchmarks of the scanner, the engine, the record list and MapParse, on generated map
// text. Each reports throughput counters (bytes, tokens or records per second).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "api/library.h"
#include "grammar/map_grammar.h"
#include "grammar/parse_tokens.h"
#include "map_text.h"
#include "records/address_index.h"

namespace {

using namespace k8map;

const std::string& Text() {
  static const std::string text = bench::GenerateMapText(4 << 20);
  return text;
}

// The text in a file of this process's own, removed at exit.
struct TempTextFile {
  TempTextFile() {
    auto file = std::filesystem::temp_directory_path() /
                ("k8map_bench_" + std::to_string(getpid()) + ".map");
    std::ofstream(file, std::ios::binary) << Text();
    path = file.string();
  }
  ~TempTextFile() { std::remove(path.c_str()); }
  std::string path;
};

const std::string& TextFile() {
  static const TempTextFile file;
  return file.path;
}

// NextToken over a stream backed by memory.
void BM_NextToken(benchmark::State& state) {
  auto scanner = std::make_unique<Scanner>();
  std::string text = Text();
  long long tokens = 0;
  for (auto _ : state) {
    std::FILE* stream = fmemopen(text.data(), text.size(), "rb");
    ResetScanner(*scanner, stream);
    while (NextToken(*scanner) != END_OF_INPUT) ++tokens;
    std::fclose(stream);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
  state.counters["tokens/s"] =
      benchmark::Counter(static_cast<double>(tokens), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NextToken)->Unit(benchmark::kMillisecond);

// Whole lines taken by the scanner alone, token by token where a line is not taken.
void BM_ScanWholeLines(benchmark::State& state) {
  auto scanner = std::make_unique<Scanner>();
  std::string text = Text();
  long long lines = 0;
  for (auto _ : state) {
    std::FILE* stream = fmemopen(text.data(), text.size(), "rb");
    ResetScanner(*scanner, stream);
    TakenSymbol symbols[64];
    TakenEntry entry;
    for (int count = 0;;) {
      if (int taken = ScanWholeLines(*scanner, symbols, 64, &count, &entry)) {
        lines += taken;
      } else if (NextToken(*scanner) == END_OF_INPUT) {
        break;
      }
    }
    std::fclose(stream);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScanWholeLines)->Unit(benchmark::kMillisecond);

// The engine and the rule actions over a prepared token array.
struct PreparedToken {
  int code;
  TokenValue value;
};

struct ArraySource {
  const std::vector<PreparedToken>& tokens;
  std::size_t next = 0;
  int Next() { return next < tokens.size() ? tokens[next++].code : END_OF_INPUT; }
  void Load(int terminal, SemanticValue& slot) const {
    const TokenValue& v = tokens[next - 1].value;
    if (terminal == kHexValue) {
      slot.number = v.number;
      slot.converted = v.converted;
    } else if (terminal >= kName) {
      slot.text_length = v.text_length;
      std::memcpy(slot.text, v.text, static_cast<std::size_t>(v.text_length) + 1);
    }
  }
};

void BM_Engine(benchmark::State& state) {
  static std::vector<PreparedToken> tokens = [] {
    std::vector<PreparedToken> out;
    auto scanner = std::make_unique<Scanner>();
    std::FILE* stream = std::fopen(TextFile().c_str(), "rb");
    ResetScanner(*scanner, stream);
    for (int code; (code = NextToken(*scanner)) != END_OF_INPUT;)
      out.push_back({code, scanner->value});
    std::fclose(stream);
    return out;
  }();
  GrammarState grammar;
  RecordList records;
  for (auto _ : state) {
    ArraySource source{tokens};
    ParseReport report;
    MapActions actions{grammar, records, report, nullptr};
    benchmark::DoNotOptimize(RunEngine(kMapTables, source, actions));
    FreeAll(records);
  }
  state.counters["tokens/s"] = benchmark::Counter(
      static_cast<double>(tokens.size()) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Engine)->Unit(benchmark::kMillisecond);

void BM_Append(benchmark::State& state) {
  RecordList records;
  const char* names[] = {"main", "uart_init_buffer", "x", "timer_interrupt_handler_entry"};
  for (auto _ : state) {
    for (int i = 0; i < 100000; ++i) {
      const char* name = names[i & 3];
      Append(records, name, std::strlen(name), static_cast<std::uint32_t>(i));
    }
    FreeAll(records);
  }
  state.counters["records/s"] = benchmark::Counter(
      100000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Append)->Unit(benchmark::kMillisecond);

// MapParse end to end, on a file in the page cache; records freed after each parse.
void BM_MapParse(benchmark::State& state) {
  auto lib = std::make_unique<Library>();
  lib->parse.line_shortcut = state.range(0) != 0;
  long long records = 0;
  for (auto _ : state) {
    if (RunMapParse(*lib, TextFile().c_str()) != 0) state.SkipWithError(lib->parse.error_message);
    records += Count(lib->records);
    FreeAll(lib->records);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(Text().size()));
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MapParse)->Arg(1)->Arg(0)->ArgName("whole_lines")->Unit(benchmark::kMillisecond);

// The address index on the layouts of real firmware: 1.7 million symbols spread over the whole
// space (0, looked up at uniform addresses), packed into 190 MB (1) or clustered in 8 MB of
// flash, 1 MB of RAM and 1 MB of peripherals with one value near the top (2), both looked up
// inside the flash, as a crash log's addresses are.
struct IndexLayout {
  std::vector<MapSymbol> symbols;
  std::vector<std::uint32_t> addresses;
};

const IndexLayout& LayoutOf(int which) {
  static IndexLayout layouts[3];
  IndexLayout& layout = layouts[which];
  if (!layout.symbols.empty()) return layout;
  std::mt19937 random(39);
  constexpr std::uint32_t kFlash = 0x08000000, kCount = 1700000;
  auto add = [&](std::uint32_t value) {
    layout.symbols.push_back({"s", value, 1, K8MAP_KIND_ADDR, 'g', -1});
  };
  for (std::uint32_t i = 0; i < kCount; ++i) {
    std::uint32_t pick = static_cast<std::uint32_t>(random());
    if (which == 0) add(pick);
    if (which == 1) add(kFlash + pick % (190u << 20));
    if (which == 2) {
      std::uint32_t bases[] = {kFlash, kFlash, kFlash,     kFlash,
                               kFlash, kFlash, 0x20000000, 0x40000000};
      std::uint32_t base = bases[i % 8];
      add(base + pick % (base == kFlash ? 8u << 20 : 1u << 20));
    }
  }
  if (which == 2) add(0xFFFFFFF0u);
  for (int i = 0; i < 1000000; ++i) {
    std::uint32_t pick = static_cast<std::uint32_t>(random());
    layout.addresses.push_back(which == 0 ? pick
                                          : kFlash + pick % (which == 1 ? 190u << 20 : 8u << 20));
  }
  return layout;
}

void BM_AddressIndexBuild(benchmark::State& state) {
  const IndexLayout& layout = LayoutOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::unique_ptr<AddressIndex> index(
        AddressIndex::Build(layout.symbols.data(), layout.symbols.size()));
    benchmark::DoNotOptimize(index.get());
  }
}
BENCHMARK(BM_AddressIndexBuild)->DenseRange(0, 2)->ArgName("layout")->Unit(benchmark::kMillisecond);

void BM_FindManyIndices(benchmark::State& state) {
  const IndexLayout& layout = LayoutOf(static_cast<int>(state.range(0)));
  std::unique_ptr<AddressIndex> index(
      AddressIndex::Build(layout.symbols.data(), layout.symbols.size()));
  std::vector<std::uint32_t> indices(layout.addresses.size()), offsets(layout.addresses.size());
  for (auto _ : state) {
    index->FindManyIndices(layout.addresses.data(), layout.addresses.size(), K8MAP_NO_LIMIT,
                           indices.data(), offsets.data());
  }
  state.counters["lookups/s"] = benchmark::Counter(
      static_cast<double>(layout.addresses.size()) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FindManyIndices)->DenseRange(0, 2)->ArgName("layout")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
