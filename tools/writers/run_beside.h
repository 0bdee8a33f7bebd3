// SPDX-License-Identifier: MIT
// Work done on a thread of its own beside the caller's, or by the caller when no thread can be
// started: the writers' one way to use a second core.
#pragma once

#include <system_error>
#include <thread>

namespace k8writers {

// Starts work on a thread of its own and returns it (a std::jthread joins when it goes); where
// no thread can be started, does the work here and returns no thread.
template <typename Work>
std::jthread RunBeside(const Work& work) {
  try {
    return std::jthread(work);
  } catch (const std::system_error&) {
    work();
    return {};
  }
}

}  // namespace k8writers
