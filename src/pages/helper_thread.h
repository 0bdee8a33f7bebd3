// SPDX-License-Identifier: MIT
// A helper thread with a small stack, and the lock and wake-up it shares with the thread that
// started it, from the system's own primitives: POSIX threads, or on Windows a slim lock and a
// condition variable of the system's (a POSIX layer there wakes a thread through a kernel
// semaphore, which cost each wake-up some 90 microseconds under Wine). One implementation per
// system: helper_thread_posix.cpp, helper_thread_windows.cpp.
#pragma once

#include <atomic>
#include <cstddef>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace k8map {

// The stack of a helper that does a little work of its own (touching pages, sorting a half):
// small, to keep the address space it takes small. ThreadSanitizer needs far more for its own
// bookkeeping (a thread with less is refused), and its build checks the helpers too.
#if defined(__SANITIZE_THREAD__)
inline constexpr std::size_t kSmallHelperStack = 4 * 1024 * 1024;
#else
inline constexpr std::size_t kSmallHelperStack = 64 * 1024;
#endif

class HelperThread {
 public:
  HelperThread();
  ~HelperThread();  // joins the thread if it was started and not joined
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // Starts run(argument) on a thread with a stack of stack_size bytes; false when no thread
  // could be started.
  bool Start(void (*run)(void*), void* argument, std::size_t stack_size);

  // A seam for tests: what Start meets as if the system refused it, kRefuseStack (no stack
  // mapping of the thread's own: the thread library's own stack is asked for) and kRefuseThread
  // (no thread at all: the work is done without the helper).
  static constexpr unsigned kRefuseStack = 1, kRefuseThread = 2;
  static inline std::atomic<unsigned> refusals{0};
  // Waits for the thread to end, when it was started.
  void Join();

  void Lock();
  void Unlock();
  // With the lock held: gives it up until woken (or woken spuriously), then holds it again.
  void Wait();
  // Wakes the waiting thread, if there is one.
  void Wake();

 private:
  friend struct ThreadEntry;  // each system's thread entry, which calls run_(argument_)
  void (*run_)(void*) = nullptr;
  void* argument_ = nullptr;
  bool started_ = false;
#if defined(_WIN32)
  void* thread_ = nullptr;  // the thread's handle
  void* lock_ = nullptr;    // an SRWLOCK, a pointer in size
  void* wake_ = nullptr;    // a CONDITION_VARIABLE, a pointer in size
#else
  pthread_t thread_{};
  void* stack_ = nullptr;  // the mapping we gave the thread as its stack, if we gave one
  std::size_t stack_size_ = 0;
  pthread_mutex_t lock_;
  pthread_cond_t wake_;
#endif
};

// Holds a HelperThread's lock for a scope.
class HelperLock {
 public:
  explicit HelperLock(HelperThread& thread) : thread_(thread) { thread_.Lock(); }
  ~HelperLock() { thread_.Unlock(); }
  HelperLock(const HelperLock&) = delete;
  HelperLock& operator=(const HelperLock&) = delete;

 private:
  HelperThread& thread_;
};

}  // namespace k8map
