// SPDX-License-Identifier: MIT
// Paths as the tool keeps them: UTF-8 text. On Windows the command line is read in UTF-16 and
// files are opened through the wide functions (the library's ParseMapFileW among them), so that
// any path Windows can name works, not only those of the ANSI code page.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The program's arguments after its name.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Opens the file at path for reading in binary; null with errno set when it cannot.
std::FILE* OpenForReading(const std::string& path);

// Whether path names a folder.
bool IsFolder(const std::string& path);

#ifdef _WIN32
std::wstring Widen(const std::string& utf8);
#endif
