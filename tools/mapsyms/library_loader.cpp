// SPDX-License-Identifier: MIT
#include "library_loader.h"

#include <algorithm>
#include <type_traits>
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

std::string LoadedPath(void* handle, void*, const std::string& candidate) {
  char path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(static_cast<HMODULE>(handle), path, sizeof path);
  return length > 0 && length < sizeof path ? std::string(path, length) : candidate;
}

// The system's reason in words ("The specified module could not be found."), not its number.
std::string LastError(const std::string&) {
  DWORD code = GetLastError();
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
  return length > 0 ? std::string(text, length) : "error " + std::to_string(code);
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

// The file a function of the library lies in, as the loader found it (a bare name is searched).
std::string LoadedPath(void*, void* function, const std::string& candidate) {
  Dl_info info;
  if (dladdr(function, &info) != 0 && info.dli_fname != nullptr) return info.dli_fname;
  return candidate;
}

// The loader's reason, without the path it begins with (the caller shows the path).
std::string LastError(const std::string& path) {
  const char* text = dlerror();
  std::string reason = text != nullptr ? text : "unknown error";
  if (reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
  return reason;
}
#endif

// Stores a function's address in the member that holds it.
template <auto kMember>
void Store(MapLibrary& library, void* address) {
  library.*kMember = reinterpret_cast<std::remove_reference_t<decltype(library.*kMember)>>(address);
}

// Every function the tool calls, by its exported name.
struct Export {
  const char* name;
  void (*store)(MapLibrary&, void*);
};
constexpr Export kExports[] = {
    {"MapParse", &Store<&MapLibrary::map_parse>},
    {"GetRecordCount", &Store<&MapLibrary::get_record_count>},
    {"GetRecordTop", &Store<&MapLibrary::get_record_top>},
    {"GetFirstRecord", &Store<&MapLibrary::get_first_record>},
    {"GetNextRecord", &Store<&MapLibrary::get_next_record>},
    {"FreeAllRecords", &Store<&MapLibrary::free_all_records>},
    {"GetErrorMessage", &Store<&MapLibrary::get_error_message>},
    {"GetMapDllVersion", &Store<&MapLibrary::get_map_dll_version>},
    {"CreateSymbolTable", &Store<&MapLibrary::create_symbol_table>},
    {"FreeSymbolTable", &Store<&MapLibrary::free_symbol_table>},
    {"ParseMapFile", &Store<&MapLibrary::parse_map_file>},
    {"ParseMapText", &Store<&MapLibrary::parse_map_text>},
    {"GetSymbolCount", &Store<&MapLibrary::get_symbol_count>},
    {"GetSymbols", &Store<&MapLibrary::get_symbols>},
    {"FindSymbolByName", &Store<&MapLibrary::find_symbol_by_name>},
    {"FindSymbolByAddress", &Store<&MapLibrary::find_symbol_by_address>},
    {"FindSymbolsByAddress", &Store<&MapLibrary::find_symbols_by_address>},
    {"GetSymbolTableError", &Store<&MapLibrary::get_symbol_table_error>},
    {"GetKindName", &Store<&MapLibrary::get_kind_name>},
    {"GetMapLibraryVersion", &Store<&MapLibrary::get_map_library_version>},
    {"GetSymbolTableErrorCode", &Store<&MapLibrary::get_symbol_table_error_code>},
    {"GetSymbolTableErrorSystem", &Store<&MapLibrary::get_symbol_table_error_system>},
    {"SetSymbolTableFlags", &Store<&MapLibrary::set_symbol_table_flags>},
    {"GetNoteCount", &Store<&MapLibrary::get_note_count>},
    {"GetNotes", &Store<&MapLibrary::get_notes>},
    {"GetNoteText", &Store<&MapLibrary::get_note_text>},
    {"GetNoteLine", &Store<&MapLibrary::get_note_line>},
    {"FindNearestSymbol", &Store<&MapLibrary::find_nearest_symbol>},
    {"FindNearestSymbols", &Store<&MapLibrary::find_nearest_symbols>},
#ifdef _WIN32
    {"ParseMapFileW", &Store<&MapLibrary::parse_map_file_w>},
#endif
};

// The library's folder from the programs', installed (the build says; this is the plain layout).
#ifndef K8MAP_LIBDIR_FROM_BINDIR
#define K8MAP_LIBDIR_FROM_BINDIR "../lib"
#endif

// Where the library is looked for, in order, each place once: beside the program (a build
// folder, an unpacked zip), the library folder of the program's install (a prefix, an archive),
// then the bare file name, which leaves the search to the system's loader (an installed
// package, LD_LIBRARY_PATH, PATH).
std::vector<std::string> LibraryCandidates() {
  std::string program_dir = ProgramDirectory();
  std::string installed = program_dir + kSeparator + K8MAP_LIBDIR_FROM_BINDIR;
  if (kSeparator != '/') std::replace(installed.begin(), installed.end(), '/', kSeparator);
  std::vector<std::string> candidates;
  for (std::string path : {program_dir + kSeparator + kLibraryFile,
                           installed + kSeparator + kLibraryFile, std::string(kLibraryFile)}) {
    if (std::find(candidates.begin(), candidates.end(), path) == candidates.end()) {
      candidates.push_back(path);
    }
  }
  return candidates;
}

}  // namespace

bool LoadMapLibrary(MapLibrary& library, std::string* error) {
  std::string tried, loaded;
  for (const std::string& path : LibraryCandidates()) {
    library.handle = OpenLibrary(path);
    if (library.handle != nullptr) {
      loaded = path;
      break;
    }
    tried += "\n  " + path + ": " + LastError(path);
  }
  if (library.handle == nullptr) {
    *error = std::string("cannot load ") + kLibraryFile + "; tried:" + tried;
    return false;
  }
  for (const Export& entry : kExports) {
    void* address = Symbol(library.handle, entry.name);
    if (address == nullptr) {
      *error = std::string("missing function ") + entry.name;
      return false;
    }
    entry.store(library, address);
  }
  library.path = LoadedPath(library.handle, reinterpret_cast<void*>(library.map_parse), loaded);
  return true;
}
