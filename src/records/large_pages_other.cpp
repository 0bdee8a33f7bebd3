// SPDX-License-Identifier: MIT
#include "records/large_pages.h"

namespace k8map {

// No large pages on request here: the system's own paging stays.
void AdviseLargePages(void*, std::size_t) {}

}  // namespace k8map
