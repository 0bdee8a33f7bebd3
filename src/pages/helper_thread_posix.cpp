// SPDX-License-Identifier: MIT
#include <sys/mman.h>

#include "pages/helper_thread.h"

namespace k8map {
namespace {

// Sets the thread's stack in attributes: a mapping of our own (unmapped after the join: a
// thread library may otherwise keep a finished thread's stack cached), else only the size.
// Returns the mapping or null.
void* SetStack(pthread_attr_t& attributes, std::size_t size) {
  bool refused = (HelperThread::refusals.load() & HelperThread::kRefuseStack) != 0;
  void* stack =
      refused ? MAP_FAILED
              : mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (stack != MAP_FAILED) {
    if (pthread_attr_setstack(&attributes, stack, size) == 0) return stack;
    munmap(stack, size);
  }
  pthread_attr_setstacksize(&attributes, size);
  return nullptr;
}

}  // namespace

HelperThread::HelperThread() {
  pthread_mutex_init(&lock_, nullptr);
  pthread_cond_init(&wake_, nullptr);
}

HelperThread::~HelperThread() {
  Join();
  pthread_cond_destroy(&wake_);
  pthread_mutex_destroy(&lock_);
}

struct ThreadEntry {
  static void* Run(void* self) {
    auto* helper = static_cast<HelperThread*>(self);
    helper->run_(helper->argument_);
    return nullptr;
  }
};

bool HelperThread::Start(void (*run)(void*), void* argument, std::size_t stack_size) {
  run_ = run, argument_ = argument;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  stack_ = SetStack(attributes, stack_size);
  bool refused = (refusals.load() & kRefuseThread) != 0;
  started_ = !refused && pthread_create(&thread_, &attributes, &ThreadEntry::Run, this) == 0;
  pthread_attr_destroy(&attributes);
  if (!started_ && stack_ != nullptr) {
    munmap(stack_, stack_size);
    stack_ = nullptr;
  }
  stack_size_ = stack_size;
  return started_;
}

void HelperThread::Join() {
  if (!started_) return;
  pthread_join(thread_, nullptr);
  started_ = false;
  if (stack_ != nullptr) munmap(stack_, stack_size_);
  stack_ = nullptr;
}

void HelperThread::Lock() {
  pthread_mutex_lock(&lock_);
}

void HelperThread::Unlock() {
  pthread_mutex_unlock(&lock_);
}

void HelperThread::Wait() {
  pthread_cond_wait(&wake_, &lock_);
}

void HelperThread::Wake() {
  pthread_cond_signal(&wake_);
}

}  // namespace k8map
