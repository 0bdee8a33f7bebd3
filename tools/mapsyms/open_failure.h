// SPDX-License-Identifier: MIT
// Why a file cannot be opened, in the system's words, for the programs' messages.
#pragma once

#include <string>

// Why the file at path cannot be opened for reading, as the system says it; empty when the
// tool's own attempt succeeds.
std::string OpenFailureReason(const std::string& path);
