// SPDX-License-Identifier: MIT
// End-to-end tests: the built library loaded at run time, as a host program loads it. The same
// table of cases runs against libkestrum8_map.so on Linux and kestrum8_map.dll under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "library_loader.h"
#include "test_files.h"

namespace {

MapLibrary& Lib() {
  static MapLibrary library;
  static bool loaded = [] {
    std::string error;
    bool ok = LoadMapLibrary(library, &error);
    if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
    return ok;
  }();
  if (!loaded) std::abort();
  return library;
}

std::string DataPath(const std::string& name) {
  return k8map::test::ProjectFolder("K8MAP_TEST_DATA", K8MAP_TEST_DATA) + "/" + name;
}

std::string TempPath(const std::string& name) {
  return k8map::test::TempFolderPath(name);
}

std::string WriteFile(const std::string& name, const std::string& content) {
  std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

// The records as "name=0xVALUE" joined by spaces, read with GetFirstRecord/GetNextRecord.
std::string Records() {
  std::string out;
  std::uint32_t value = 0;
  const char* name = nullptr;
  for (int r = Lib().get_first_record(&value, &name); r == 0;
       r = Lib().get_next_record(&value, &name)) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(value));
    out += (out.empty() ? "" : " ") + std::string(name) + "=" + hex;
  }
  return out;
}

// The same records walked through the 12-byte nodes from GetRecordTop.
std::string RecordChain() {
  std::string out;
  for (const SymbolRecord* r = Lib().get_record_top(); r != nullptr; r = r->next) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(r->value));
    out += (out.empty() ? "" : " ") + std::string(r->name) + "=" + hex;
  }
  return out;
}

std::string Syntax(const std::string& path, int line, const std::string& token) {
  return path + ":" + std::to_string(line) + ": syntax error. \"" + token + "\" is invalid.\n";
}

// Runs first: nothing has been parsed in this process yet.
TEST(Host, VersionAndEmptyErrorBeforeAnyParse) {
  EXPECT_STREQ(Lib().get_map_dll_version(), "kestrum8_map.dll Ver.1.0");
  EXPECT_STREQ(Lib().get_error_message(), "");
  EXPECT_EQ(Lib().get_record_count(), 0);
  EXPECT_EQ(Lib().get_record_top(), nullptr);
}

struct HostCase {
  const char* file;
  int result;
  int line;           // of a syntax error; 0 when the parse succeeds
  const char* token;  // of a syntax error
  const char* records;
};

class HostCaseTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostCaseTest, ResultMessageAndRecords) {
  const HostCase& c = GetParam();
  Lib().free_all_records();
  std::string path = DataPath(c.file);
  EXPECT_EQ(Lib().map_parse(path.c_str()), c.result);
  if (c.result != 0) {
    EXPECT_EQ(std::string(Lib().get_error_message()), Syntax(path, c.line, c.token));
  }
  EXPECT_EQ(Records(), c.records);
  EXPECT_EQ(RecordChain(), c.records);
  std::string records = c.records;
  int count =
      records.empty() ? 0 : 1 + static_cast<int>(std::count(records.begin(), records.end(), ' '));
  EXPECT_EQ(Lib().get_record_count(), count);
  Lib().free_all_records();
}

INSTANTIATE_TEST_SUITE_P(
    DataFiles, HostCaseTest,
    ::testing::Values(HostCase{"worked_example.map", 0, 0, "",
                               "main=0x1000 start_loop=0x102A InitSerialPort2AndBuffers=0x2000"},
                      HostCase{"scanner_example.map", -1, 7, "\n", ""},
                      HostCase{
                          "crlf.map", 0, 0, "",
                          "reset_vector=0x0 isr_timer=0xFF10 long_handler_for_the_uart=0x1234"},
                      HostCase{"empty.map", -1, 1, "", ""},
                      HostCase{"bad_first.map", -1, 1, "Addr.", ""},
                      HostCase{"headings_only.map", 0, 0, "", ""},
                      HostCase{"nine_digits.map", 0, 0, "", "a=0x1 b=0xFFFFFFFF"},
                      HostCase{"missing_line_end.map", -1, 3, "", "a=0x1 b=0x2"},
                      HostCase{"continued_cut.map", -1, 4, "\n", "a=0x10"},
                      HostCase{"duplicates.map", 0, 0, "", "sym=0x5 sym=0x5 zero=0x0"}),
    [](const ::testing::TestParamInfo<HostCase>& info) {
      std::string name = info.param.file;
      return name.substr(0, name.find('.'));
    });

TEST(Host, MissingFileLeavesRecordsAlone) {
  Lib().free_all_records();
  ASSERT_EQ(Lib().map_parse(DataPath("worked_example.map").c_str()), 0);
  std::string path = DataPath("no_such_file.map");
  EXPECT_EQ(Lib().map_parse(path.c_str()), -1);
  EXPECT_EQ(std::string(Lib().get_error_message()), "can't open file " + path + "\n");
  EXPECT_EQ(Lib().get_record_count(), 3);
  Lib().free_all_records();
}

TEST(Host, SuccessiveParsesAccumulateAndErrorTextStays) {
  Lib().free_all_records();
  std::string bad = DataPath("missing_line_end.map");
  EXPECT_EQ(Lib().map_parse(bad.c_str()), -1);
  EXPECT_EQ(Lib().map_parse(DataPath("duplicates.map").c_str()), 0);
  EXPECT_EQ(std::string(Lib().get_error_message()), Syntax(bad, 3, ""));
  EXPECT_EQ(Records(), "a=0x1 b=0x2 sym=0x5 sym=0x5 zero=0x0");
  std::string bad_first = DataPath("bad_first.map");
  EXPECT_EQ(Lib().map_parse(bad_first.c_str()), -1);
  EXPECT_EQ(std::string(Lib().get_error_message()), Syntax(bad_first, 1, "Addr."))
      << "a second parse after a failed one counts lines from 1";
  Lib().free_all_records();
  EXPECT_EQ(Lib().get_record_count(), 0);
  EXPECT_EQ(Lib().get_record_top(), nullptr);
}

TEST(Host, NullArgumentsAreSafe) {
  Lib().free_all_records();
  EXPECT_EQ(Lib().map_parse(nullptr), -1);
  EXPECT_STREQ(Lib().get_error_message(), "can't open file (null)\n");
  ASSERT_EQ(Lib().map_parse(DataPath("duplicates.map").c_str()), 0);
  EXPECT_EQ(Lib().get_first_record(nullptr, nullptr), 0);
  EXPECT_EQ(Lib().get_next_record(nullptr, nullptr), 0);
  std::uint32_t value = 0;
  EXPECT_EQ(Lib().get_next_record(&value, nullptr), 0);
  EXPECT_EQ(value, 0u) << "zero's value, the third record";
  EXPECT_EQ(Lib().get_next_record(nullptr, nullptr), 1);
  Lib().free_all_records();
}

// The 1.2 functions through the loaded library: a failure's parts, notes, bounded finds.
TEST(Host, TablesSayFailuresNotesAndBoundedFinds) {
  SymbolTable* table = Lib().create_symbol_table();
  EXPECT_EQ(Lib().parse_map_file(table, DataPath("absent.map").c_str()), -1);
  EXPECT_EQ(Lib().get_symbol_table_error_code(table), K8MAP_ERROR_OPEN);
  EXPECT_EQ(Lib().get_symbol_table_error_system(table), ENOENT);
  ASSERT_EQ(Lib().set_symbol_table_flags(table, K8MAP_TABLE_NOTES), 0);
  std::string text =
      "  a Addr. g 0x1000\n  v Var. g 0x2000\n  b ADDR. g 0x3000\n  c Addr. g 0x4000 x.o\n";
  EXPECT_EQ(Lib().parse_map_text(table, text.data(), text.size(), "m"), -1);
  EXPECT_EQ(Lib().get_symbol_table_error_code(table), K8MAP_ERROR_SYNTAX);
  ASSERT_EQ(Lib().get_note_count(table), 2u);
  const MapNote* notes = Lib().get_notes(table);
  EXPECT_EQ(notes[0].line, 3u);
  EXPECT_EQ(notes[0].column, 5u);
  EXPECT_EQ(notes[0].reason, K8MAP_NOTE_KIND_CASE);
  EXPECT_EQ(notes[1].reason, K8MAP_NOTE_TRAILING_TEXT);
  EXPECT_NE(Lib().get_note_text(notes[1].reason), nullptr);
  const MapSymbol* found =
      Lib().find_nearest_symbol(table, 0x2010, K8MAP_KINDS_ADDRESS, K8MAP_NO_LIMIT);
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found->name, "a");
  EXPECT_EQ(Lib().find_nearest_symbol(table, 0x2010, K8MAP_KINDS_ADDRESS, 0x100), nullptr);
  found = Lib().find_nearest_symbol(table, 0x2010, K8MAP_KIND_MASK(K8MAP_KIND_VAR), 0x100);
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found->name, "v");
  Lib().free_symbol_table(table);
}

TEST(Host, FatalScannerFailureReturnsAndTheProcessLivesOn) {
  Lib().free_all_records();
  std::string path = WriteFile("fatal.map", "  a Addr. g 0x1\n" + std::string(8192, ' ') + "x\n");
  EXPECT_EQ(Lib().map_parse(path.c_str()), -1);
  EXPECT_EQ(std::string(Lib().get_error_message()), path + ":2: token too large, exceeds YYLMAX\n");
  EXPECT_EQ(Records(), "a=0x1");
  EXPECT_EQ(Lib().map_parse(DataPath("worked_example.map").c_str()), 0);
  EXPECT_EQ(Lib().get_record_count(), 4);
  Lib().free_all_records();
}

TEST(Host, LongPathAndLongTokenMessagesFitTheBuffer) {
  std::string long_path = std::string(300, 'd') + ".map";
  EXPECT_EQ(Lib().map_parse(long_path.c_str()), -1);
  std::string message = Lib().get_error_message();
  EXPECT_EQ(message, ("can't open file " + long_path).substr(0, 254) + "\n");

  std::string token = std::string(8000, 'Q') + "+";
  std::string path = WriteFile("long_token.map", "  9" + token + "\n");
  EXPECT_EQ(Lib().map_parse(path.c_str()), -1);
  EXPECT_EQ(std::string(Lib().get_error_message()),
            Syntax(path, 1, "9" + token).substr(0, 254) + "\n");
}

TEST(Host, ThousandsOfParsesInOneProcess) {
  Lib().free_all_records();
  std::string good = DataPath("worked_example.map");
  std::string bad = DataPath("missing_line_end.map");
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(Lib().map_parse(good.c_str()), 0) << i;
    ASSERT_EQ(Lib().map_parse(bad.c_str()), -1) << i;
  }
  EXPECT_EQ(Lib().get_record_count(), 10000);
  Lib().free_all_records();
}

TEST(Host, NullDeviceIsAnEmptyMapFile) {
#ifdef _WIN32
  const char* device = "NUL";
#else
  const char* device = "/dev/null";
#endif
  EXPECT_EQ(Lib().map_parse(device), -1);
  EXPECT_EQ(std::string(Lib().get_error_message()), Syntax(device, 1, ""));
}

}  // namespace

// ---- Bad input: every case has its result and message, and the host lives on ----

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#endif
#include <random>

namespace {

struct BadInput {
  const char* what;
  std::string path;
  int result;
  std::string message;  // exact; a trailing '*' means a prefix
  std::string records;
};

void ExpectBadInput(const BadInput& c) {
  Lib().free_all_records();
  EXPECT_EQ(Lib().map_parse(c.path.c_str()), c.result) << c.what;
  std::string message = Lib().get_error_message();
  if (!c.message.empty() && c.message.back() == '*') {
    EXPECT_EQ(message.substr(0, c.message.size() - 1), c.message.substr(0, c.message.size() - 1))
        << c.what;
  } else if (c.result != 0) {
    EXPECT_EQ(message, c.message) << c.what;
  }
  EXPECT_EQ(Records(), c.records) << c.what;
  Lib().free_all_records();
  // The host lives on: a good parse still works.
  EXPECT_EQ(Lib().map_parse(DataPath("worked_example.map").c_str()), 0) << c.what;
  EXPECT_EQ(Lib().get_record_count(), 3) << c.what;
  Lib().free_all_records();
}

TEST(BadInputs, EachHasItsResultAndMessage) {
  std::string missing = TempPath("absent.map");
  std::string dir = std::filesystem::temp_directory_path().string();
  std::string long_path = std::string(4000, 'L');
  std::mt19937 random(20261207);
  std::string binary;
  for (int i = 0; i < 65536; ++i) binary += static_cast<char>(random() & 0xff);
  std::string junk;
  for (int i = 0; i < 100000; ++i) junk += "junk line " + std::to_string(i) + " of no symbols\n";
  std::string name300(300, 'n');
  std::string continued = "  " + std::string(30, 'a') + "+ Addr. g 0x1234\n";
  for (int i = 0; i < 18; ++i)
    continued += "  " + std::string(29, 'b') + std::to_string(i % 10) + "+\n";
  continued += "  " + std::string(30, 'z') + "\n";
  std::string continued_name = std::string(30, 'a');
  for (int i = 0; continued_name.size() < 255; ++i)
    continued_name += std::string(29, 'b') + std::to_string(i % 10);
  continued_name.resize(255);

  std::string p8191 = WriteFile("spaces8191.map", std::string(8191, ' ') + "\n");
  std::string p8192 = WriteFile("spaces8192.map", std::string(8192, ' ') + "\n");
  std::string pbin = WriteFile("binary.map", binary);
  std::string pjunk = WriteFile("junk.map", junk);
  std::string pname = WriteFile("name300.map", "  " + name300 + " Addr. g 0x42\n");
  std::string pcont = WriteFile("continued.map", continued);
  std::string pnine = WriteFile("nine.map", "  a Addr. g 0x123456789\n  b Addr. g 0x2\n");
#ifdef _WIN32
  const char* null_device = "NUL";
#else
  const char* null_device = "/dev/null";
#endif
  BadInput cases[] = {
      {"missing", missing, -1, "can't open file " + missing + "\n", ""},
      {"directory", dir, -1, "can't open file " + dir + "\n", ""},
      {"empty path", "", -1, "can't open file \n", ""},
      {"4000-character path", long_path, -1, ("can't open file " + long_path).substr(0, 254) + "\n",
       ""},
      {"null device", null_device, -1, Syntax(null_device, 1, ""), ""},
      {"binary", pbin, -1, pbin + ":*", ""},
      {"100000 junk lines", pjunk, 0, "", ""},
      {"8191 spaces", p8191, 0, "", ""},
      {"8192 spaces", p8192, -1, p8192 + ":1: token too large, exceeds YYLMAX\n", ""},
      {"300-character name", pname, 0, "", name300.substr(0, 255) + "=0x42"},
      {"20 pieces of 30", pcont, 0, "", continued_name + "=0x1234"},
      {"nine digits", pnine, 0, "", "b=0x2"},
  };
  for (const BadInput& c : cases) ExpectBadInput(c);
}

#ifndef _WIN32
TEST(BadInputs, FifoWhoseWriterClosesAtOnce) {
  std::string path = TempPath("fifo.map");
  std::remove(path.c_str());
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::thread writer([&] {
    int fd = open(path.c_str(), O_WRONLY);
    if (fd >= 0) close(fd);
  });
  EXPECT_EQ(Lib().map_parse(path.c_str()), -1);
  writer.join();
  EXPECT_EQ(std::string(Lib().get_error_message()), Syntax(path, 1, ""));
  std::remove(path.c_str());
}

int OpenDescriptors() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}
#endif

TEST(BadInputs, TenThousandParsesOfOneFile) {
  Lib().free_all_records();
  std::string path = DataPath("worked_example.map");
#ifndef _WIN32
  int descriptors = OpenDescriptors();
  long resident_after_first = 0;
#endif
  for (int round = 0; round < 10; ++round) {
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(Lib().map_parse(path.c_str()), 0);
    EXPECT_EQ(Lib().get_record_count(), 3000);
    Lib().free_all_records();
#ifndef _WIN32
    if (round == 0) resident_after_first = ResidentKilobytes();
#endif
  }
#ifndef _WIN32
  EXPECT_EQ(OpenDescriptors(), descriptors) << "no stream is left open";
#ifdef __SANITIZE_ADDRESS__  // freed memory sits in quarantine; LeakSanitizer checks instead
  resident_after_first = ResidentKilobytes();
#endif
  EXPECT_LT(ResidentKilobytes() - resident_after_first, 4096) << "memory comes back";
#endif
}

}  // namespace

#if defined(_WIN32) && !defined(_WIN64)
#include <windows.h>

namespace {

const char* const kExportsByOrdinal[] = {
    "MapParse",
    "GetRecordCount",
    "GetRecordTop",
    "GetFirstRecord",
    "GetNextRecord",
    "FreeAllRecords",
    "GetErrorMessage",
    "GetMapDllVersion",
    "CreateSymbolTable",
    "FreeSymbolTable",
    "ParseMapFile",
    "ParseMapText",
    "GetSymbolCount",
    "GetSymbols",
    "FindSymbolByName",
    "FindSymbolByAddress",
    "GetSymbolTableError",
    "GetKindName",
    "GetMapLibraryVersion",
    "FindSymbolsByAddress",
    "GetSymbolTableErrorCode",
    "GetSymbolTableErrorLine",
    "GetSymbolTableErrorToken",
    "GetSymbolTableErrorSystem",
    "SetSymbolTableFlags",
    "GetNoteCount",
    "GetNotes",
    "GetNoteText",
    "FindNearestSymbol",
    "FindNearestSymbols",
    "FindSymbolsByName",
    "GetMapLibraryVersionNumber",
    "ParseMapFileW",
    "FindNearestSymbolIndices",
    "GetKindByName",
    "GetSymbolTableStatus",
    "GetNoteLine",
};
constexpr int kExports = static_cast<int>(std::size(kExportsByOrdinal));

TEST(WindowsHost, EveryFunctionResolvesByNameAndByOrdinal) {
  auto module = static_cast<HMODULE>(Lib().handle);
  for (int ordinal = 1; ordinal <= kExports; ++ordinal) {
    FARPROC by_name = GetProcAddress(module, kExportsByOrdinal[ordinal - 1]);
    FARPROC by_ordinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    EXPECT_NE(by_name, nullptr) << kExportsByOrdinal[ordinal - 1];
    EXPECT_EQ(by_name, by_ordinal) << kExportsByOrdinal[ordinal - 1];
  }
  EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(kExports + 1)), nullptr);
  EXPECT_EQ(GetProcAddress(module, "_MapParse@4"), nullptr);
}

// Pushes Args zero words, calls fn and returns how many bytes of them the callee popped: all
// of them for stdcall, none for cdecl.
template <int Args>
int StackDelta(void* fn) {
  int result;
  asm volatile(
      "mov %%esp, %%esi\n\t"
      ".rept %c[args]\n\t"
      "push $0\n\t"
      ".endr\n\t"
      "call *%%eax\n\t"
      "mov %%esp, %%eax\n\t"
      "sub %%esi, %%eax\n\t"
      "add $4*%c[args], %%eax\n\t"
      "mov %%esi, %%esp\n\t"
      : "=a"(result)
      : "a"(fn), [args] "i"(Args)
      : "esi", "ecx", "edx", "memory", "cc");
  return result;
}

TEST(WindowsHost, CalleesPopExactlyWhatTheirConventionSays) {
  auto module = static_cast<HMODULE>(Lib().handle);
  auto fn = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); };
  EXPECT_EQ(StackDelta<1>(fn("MapParse")), 4) << "stdcall, one argument";
  EXPECT_EQ(StackDelta<2>(fn("GetFirstRecord")), 8) << "stdcall, two arguments";
  EXPECT_EQ(StackDelta<2>(fn("GetNextRecord")), 8) << "stdcall, two arguments";
  for (const char* cdecl_name : {"GetRecordCount", "GetRecordTop", "FreeAllRecords",
                                 "GetErrorMessage", "GetMapDllVersion", "GetMapLibraryVersion"}) {
    EXPECT_EQ(StackDelta<0>(fn(cdecl_name)), 0) << cdecl_name;
  }
  // The symbol-table functions, all cdecl, called with null (or zero) arguments.
  EXPECT_EQ(StackDelta<1>(fn("FreeSymbolTable")), 0);
  EXPECT_EQ(StackDelta<2>(fn("ParseMapFile")), 0);
  EXPECT_EQ(StackDelta<4>(fn("ParseMapText")), 0);
  EXPECT_EQ(StackDelta<1>(fn("GetSymbolCount")), 0);
  EXPECT_EQ(StackDelta<1>(fn("GetSymbols")), 0);
  EXPECT_EQ(StackDelta<2>(fn("FindSymbolByName")), 0);
  EXPECT_EQ(StackDelta<2>(fn("FindSymbolByAddress")), 0);
  EXPECT_EQ(StackDelta<1>(fn("GetSymbolTableError")), 0);
  EXPECT_EQ(StackDelta<4>(fn("FindSymbolsByAddress")), 0);
  EXPECT_EQ(StackDelta<1>(fn("GetKindName")), 0);
  struct {
    const char* name;
    int arguments;
  } added[] = {{"GetSymbolTableErrorCode", 1},
               {"GetSymbolTableErrorLine", 1},
               {"GetSymbolTableErrorToken", 1},
               {"GetSymbolTableErrorSystem", 1},
               {"SetSymbolTableFlags", 2},
               {"GetNoteCount", 1},
               {"GetNotes", 1},
               {"GetNoteText", 1},
               {"FindNearestSymbol", 4},
               {"FindNearestSymbols", 6},
               {"FindSymbolsByName", 4},
               {"GetMapLibraryVersionNumber", 0},
               {"ParseMapFileW", 2},
               {"FindNearestSymbolIndices", 7},
               {"GetKindByName", 1},
               {"GetSymbolTableStatus", 1},
               {"GetNoteLine", 3}};
  for (const auto& a : added) {
    int popped = a.arguments == 0   ? StackDelta<0>(fn(a.name))
                 : a.arguments == 1 ? StackDelta<1>(fn(a.name))
                 : a.arguments == 2 ? StackDelta<2>(fn(a.name))
                 : a.arguments == 4 ? StackDelta<4>(fn(a.name))
                 : a.arguments == 6 ? StackDelta<6>(fn(a.name))
                                    : StackDelta<7>(fn(a.name));
    EXPECT_EQ(popped, 0) << a.name << ": cdecl";
  }
  EXPECT_EQ(StackDelta<0>(fn("CreateSymbolTable")), 0);  // a table left for the process' end
}

// A map in a folder named in another script: ParseMapFileW opens it, and messages name it in
// UTF-8.
TEST(WindowsHost, WidePathsOpenAnyFolder) {
  ParseMapFileWFn parse_w = Lib().parse_map_file_w;
  ASSERT_NE(parse_w, nullptr);
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      L"\u043a\u0430\u0440\u0442\u044b_\u03c7\u03ac\u03c1\u03c4\u03b7\u03c2";
  std::filesystem::create_directories(folder);
  std::filesystem::path map = folder / L"\u0441\u0438\u043c\u0432\u043e\u043b\u044b.map";
  std::ofstream(map, std::ios::binary) << "  main Addr. g 0x1000\n";
  SymbolTable* table = Lib().create_symbol_table();
  EXPECT_EQ(parse_w(table, map.wstring().c_str()), 0);
  ASSERT_EQ(Lib().get_symbol_count(table), 1u);
  EXPECT_STREQ(Lib().get_symbols(table)[0].name, "main");
  std::filesystem::path absent = folder / L"\u043d\u0435\u0442.map";
  EXPECT_EQ(parse_w(table, absent.wstring().c_str()), -1);
  std::u8string utf8 = absent.u8string();
  EXPECT_EQ(std::string(Lib().get_symbol_table_error(table)),
            "can't open file " + std::string(utf8.begin(), utf8.end()) + "\n");
  EXPECT_EQ(Lib().get_symbol_table_error_code(table), K8MAP_ERROR_OPEN);
  EXPECT_EQ(Lib().get_symbol_table_error_system(table), ENOENT);
  EXPECT_EQ(parse_w(table, nullptr), -1);
  EXPECT_EQ(Lib().get_symbol_table_error_code(table), K8MAP_ERROR_ARGUMENT);
  Lib().free_symbol_table(table);
  std::filesystem::remove_all(folder);
}

TEST(WindowsHost, SymbolsAreSixteenBytes) {
  static_assert(sizeof(MapSymbol) == 16);
  static_assert(offsetof(MapSymbol, value) == 4 && offsetof(MapSymbol, line) == 8);
  static_assert(offsetof(MapSymbol, kind) == 12 && offsetof(MapSymbol, scope) == 13);
  static_assert(offsetof(MapSymbol, bit) == 14);
}

TEST(WindowsHost, RecordsAreTwelveBytesWithTheirFieldsAtZeroFourEight) {
  static_assert(sizeof(SymbolRecord) == 12);
  static_assert(offsetof(SymbolRecord, name) == 0);
  static_assert(offsetof(SymbolRecord, value) == 4);
  static_assert(offsetof(SymbolRecord, next) == 8);
  Lib().free_all_records();
  ASSERT_EQ(Lib().map_parse(DataPath("worked_example.map").c_str()), 0);
  const unsigned char* node = reinterpret_cast<const unsigned char*>(Lib().get_record_top());
  ASSERT_NE(node, nullptr);
  const char* name;
  std::uint32_t value;
  std::memcpy(&name, node, 4);
  std::memcpy(&value, node + 4, 4);
  EXPECT_STREQ(name, "main");
  EXPECT_EQ(value, 0x1000u);
  Lib().free_all_records();
}

}  // namespace
#endif
