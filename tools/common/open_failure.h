// SPDX-License-Identifier: MIT
// Why a file cannot be opened, in the system's words, for the programs' messages.
#pragma once

#include <string>

// Why the file at path cannot be opened for reading, as the system says it; empty when the
// tool's own attempt succeeds.
std::string OpenFailureReason(const std::string& path);

// The system's words for an error number the library gave for path; a folder is said to be one
// wherever the system refuses it with another reason (Windows: permission denied).
std::string SystemReason(int error, const std::string& path);
