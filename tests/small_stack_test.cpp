// SPDX-License-Identifier: MIT
// A host thread with a small stack parses: the engine's stacks and the scanner's buffers are the
// parse's own, not its caller's stack frame's, so a few KiB of stack are enough.
#include <gtest/gtest.h>

#include <string>

#include "api/library.h"
#include "api/symbol_table.h"
#include "kestrum8_map.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace k8map {
namespace {

// The stack given to the thread. The sanitizers' instrumented frames are several times larger.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kSmallStack = 256 * 1024;
#else
constexpr std::size_t kSmallStack = 16 * 1024;
#endif

struct Job {
  std::string path;
  int records = -1;
  std::size_t symbols = 0;
  int table_result = -1;
};

void RunJob(Job& job) {
  static Library library;  // module-wide, as the exports' is: not on the thread's stack
  library.parse.chunk_supply_threshold = 0;  // with the chunk helper too
  job.records = RunMapParse(library, job.path.c_str()) == 0 ? Count(library.records) : -1;
  FreeAll(library.records);
  SymbolTable* table = CreateSymbolTable();
  job.table_result = ParseMapFile(table, job.path.c_str());
  job.symbols = GetSymbolCount(table);
  FindSymbolByAddress(table, 0x1062);
  FindSymbolByName(table, "main");
  FreeSymbolTable(table);
}

#ifdef _WIN32
DWORD WINAPI ThreadMain(LPVOID job) {
  RunJob(*static_cast<Job*>(job));
  return 0;
}

bool RunOnSmallStack(Job& job) {
  HANDLE thread = CreateThread(nullptr, kSmallStack, ThreadMain, &job,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return true;
}
#else
void* ThreadMain(void* job) {
  RunJob(*static_cast<Job*>(job));
  return nullptr;
}

bool RunOnSmallStack(Job& job) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kSmallStack);
  pthread_t thread;
  bool started = pthread_create(&thread, &attributes, ThreadMain, &job) == 0;
  pthread_attr_destroy(&attributes);
  if (started) pthread_join(thread, nullptr);
  return started;
}
#endif

TEST(SmallStack, ParsesOnAThreadOfSixteenKiB) {
  Job job;
  job.path = std::string(K8MAP_SOURCE_DIR) + "/examples/sample.map";
  ASSERT_TRUE(RunOnSmallStack(job));
  EXPECT_EQ(job.records, 12);
  EXPECT_EQ(job.table_result, 0);
  EXPECT_EQ(job.symbols, 19u);
}

}  // namespace
}  // namespace k8map
