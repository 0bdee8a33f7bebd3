// SPDX-License-Identifier: MIT
// Two independent pieces of work at once: work(0) on the calling thread, work(1) on a thread of
// its own, joined before returning. Without `parallel`, or when no thread can be started, both
// run here one after the other.
#pragma once

#include <system_error>
#include <thread>

template <class Work>
void BothHalves(bool parallel, Work work) {
  std::thread helper;
  if (parallel) {
    try {
      helper = std::thread([&work] { work(1); });
    } catch (const std::system_error&) {
    }
  }
  work(0);
  if (helper.joinable()) {
    helper.join();
  } else {
    work(1);
  }
}
