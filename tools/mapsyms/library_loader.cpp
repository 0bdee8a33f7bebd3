// SPDX-License-Identifier: MIT
#include "library_loader.h"

#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr const char* kLibraryFile = "kestrum8_map.dll";
constexpr char kSeparator = '\\';

std::string ProgramDirectory() {
  char path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, length < sizeof path ? length : 0);
  std::size_t cut = text.find_last_of("\\/");
  return cut == std::string::npos ? "." : text.substr(0, cut);
}

void* OpenLibrary(const std::string& path) {
  return LoadLibraryA(path.c_str());
}

void* Symbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

std::string LastError() {
  return "error " + std::to_string(GetLastError());
}
#else
// The name the library is linked under (its SONAME): the runtime package has no other.
constexpr const char* kLibraryFile = "libkestrum8_map.so.1";
constexpr char kSeparator = '/';

std::string ProgramDirectory() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  std::string text(path, static_cast<std::size_t>(length));
  std::size_t cut = text.find_last_of('/');
  return cut == std::string::npos ? "." : text.substr(0, cut);
}

void* OpenLibrary(const std::string& path) {
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* Symbol(void* handle, const char* name) {
  return dlsym(handle, name);
}

std::string LastError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
}
#endif

template <typename Fn>
bool Resolve(void* handle, const char* name, Fn* out, std::string* error) {
  void* address = Symbol(handle, name);
  if (address == nullptr) {
    *error = std::string("missing function ") + name;
    return false;
  }
  *out = reinterpret_cast<Fn>(address);
  return true;
}

// Where the library is looked for, in order: beside the program (a build folder, an unpacked
// zip), the lib folder beside the program's bin (an install prefix), then the bare file name,
// which leaves the search to the system's loader (an installed package, LD_LIBRARY_PATH, PATH).
std::vector<std::string> LibraryCandidates() {
  std::string program_dir = ProgramDirectory();
  return {program_dir + kSeparator + kLibraryFile,
          program_dir + kSeparator + ".." + kSeparator + "lib" + kSeparator + kLibraryFile,
          kLibraryFile};
}

}  // namespace

bool LoadMapLibrary(MapLibrary& library, std::string* error) {
  std::string tried;
  for (const std::string& path : LibraryCandidates()) {
    library.handle = OpenLibrary(path);
    if (library.handle != nullptr) break;
    tried += "\n  " + path + ": " + LastError();
  }
  if (library.handle == nullptr) {
    *error = std::string("cannot load ") + kLibraryFile + "; tried:" + tried;
    return false;
  }
  void* h = library.handle;
  return Resolve(h, "MapParse", &library.map_parse, error) &&
         Resolve(h, "GetRecordCount", &library.get_record_count, error) &&
         Resolve(h, "GetRecordTop", &library.get_record_top, error) &&
         Resolve(h, "GetFirstRecord", &library.get_first_record, error) &&
         Resolve(h, "GetNextRecord", &library.get_next_record, error) &&
         Resolve(h, "FreeAllRecords", &library.free_all_records, error) &&
         Resolve(h, "GetErrorMessage", &library.get_error_message, error) &&
         Resolve(h, "GetMapDllVersion", &library.get_map_dll_version, error) &&
         Resolve(h, "CreateSymbolTable", &library.create_symbol_table, error) &&
         Resolve(h, "FreeSymbolTable", &library.free_symbol_table, error) &&
         Resolve(h, "ParseMapFile", &library.parse_map_file, error) &&
         Resolve(h, "ParseMapText", &library.parse_map_text, error) &&
         Resolve(h, "GetSymbolCount", &library.get_symbol_count, error) &&
         Resolve(h, "GetSymbols", &library.get_symbols, error) &&
         Resolve(h, "FindSymbolByName", &library.find_symbol_by_name, error) &&
         Resolve(h, "FindSymbolByAddress", &library.find_symbol_by_address, error) &&
         Resolve(h, "FindSymbolsByAddress", &library.find_symbols_by_address, error) &&
         Resolve(h, "GetSymbolTableError", &library.get_symbol_table_error, error) &&
         Resolve(h, "GetKindName", &library.get_kind_name, error) &&
         Resolve(h, "GetMapLibraryVersion", &library.get_map_library_version, error);
}
