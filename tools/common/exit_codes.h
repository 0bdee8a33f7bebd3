// SPDX-License-Identifier: MIT
// The exit codes of mapsyms and maptokens, the same for every command, listed in --help, the
// manual pages and the README.
#pragma once

enum ExitCode : int {
  kExitOk = 0,         // success (diff: the maps are equal)
  kExitNo = 1,         // the answer is no: a lookup missed, the maps differ, check found lines
  kExitUsage = 2,      // the command line is wrong
  kExitFile = 3,       // a file could not be read or parsed, or the output not written
  kExitNoLibrary = 4,  // the map library could not be loaded
};
