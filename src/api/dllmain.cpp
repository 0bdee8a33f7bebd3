// SPDX-License-Identifier: MIT
// The DLL entry point: accepts every notification and does nothing else. Records are released
// only by FreeAllRecords.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
