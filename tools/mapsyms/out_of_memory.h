// SPDX-License-Identifier: MIT
// When memory runs out, in any thread of mapsyms: "mapsyms: out of memory" on standard error
// and exit code 3, at once (what was gathered for standard output is not written).
#pragma once

[[noreturn]] void OutOfMemory();

// Makes every failed allocation of the program end that way (a new handler).
void EndOnOutOfMemory();
