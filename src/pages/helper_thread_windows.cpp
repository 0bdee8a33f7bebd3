// SPDX-License-Identifier: MIT
#include <windows.h>

#include "pages/helper_thread.h"

namespace k8map {
namespace {

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "the lock and the condition variable are kept in pointers");

SRWLOCK* AsLock(void*& storage) {
  return reinterpret_cast<SRWLOCK*>(&storage);
}

CONDITION_VARIABLE* AsCondition(void*& storage) {
  return reinterpret_cast<CONDITION_VARIABLE*>(&storage);
}

}  // namespace

struct ThreadEntry {
  static DWORD WINAPI Run(void* self) {
    auto* helper = static_cast<HelperThread*>(self);
    helper->run_(helper->argument_);
    return 0;
  }
};

HelperThread::HelperThread() {
  InitializeSRWLock(AsLock(lock_));
  InitializeConditionVariable(AsCondition(wake_));
}

HelperThread::~HelperThread() {
  Join();
}

bool HelperThread::Start(void (*run)(void*), void* argument, std::size_t stack_size) {
  run_ = run, argument_ = argument;
  // The system gives every thread a stack of its own: only the thread can be refused.
  bool refused = (refusals.load() & kRefuseThread) != 0;
  thread_ = refused ? nullptr
                    : CreateThread(nullptr, stack_size, &ThreadEntry::Run, this,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  started_ = thread_ != nullptr;
  return started_;
}

void HelperThread::Join() {
  if (!started_) return;
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
  started_ = false;
}

void HelperThread::Lock() {
  AcquireSRWLockExclusive(AsLock(lock_));
}

void HelperThread::Unlock() {
  ReleaseSRWLockExclusive(AsLock(lock_));
}

void HelperThread::Wait() {
  SleepConditionVariableSRW(AsCondition(wake_), AsLock(lock_), INFINITE, 0);
}

void HelperThread::Wake() {
  WakeConditionVariable(AsCondition(wake_));
}

}  // namespace k8map
