// SPDX-License-Identifier: MIT
// Micro-benchmarks of the scanner, the engine, the record list and MapParse, on generated map
// text. Each reports throughput counters (bytes, tokens or records per second).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "api/library.h"
#include "grammar/map_grammar.h"
#include "grammar/parse_tokens.h"
#include "map_text.h"

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

}  // namespace

BENCHMARK_MAIN();
