// SPDX-License-Identifier: MIT
// Loads the map library at run time, by file name, from beside the running program, from the
// lib folder next to its own, or through the system's search, and resolves its exported
// functions by name, as any host program does.
#pragma once

#include <string>

#include "kestrum8_map.h"

struct MapLibrary {
  void* handle = nullptr;
  std::string path;  // the file loaded, as the system names it
  MapParseFn map_parse = nullptr;
  GetRecordCountFn get_record_count = nullptr;
  GetRecordTopFn get_record_top = nullptr;
  GetFirstRecordFn get_first_record = nullptr;
  GetNextRecordFn get_next_record = nullptr;
  FreeAllRecordsFn free_all_records = nullptr;
  GetErrorMessageFn get_error_message = nullptr;
  GetMapDllVersionFn get_map_dll_version = nullptr;
  CreateSymbolTableFn create_symbol_table = nullptr;
  FreeSymbolTableFn free_symbol_table = nullptr;
  ParseMapFileFn parse_map_file = nullptr;
  ParseMapTextFn parse_map_text = nullptr;
  GetSymbolCountFn get_symbol_count = nullptr;
  GetSymbolsFn get_symbols = nullptr;
  FindSymbolByNameFn find_symbol_by_name = nullptr;
  FindSymbolByAddressFn find_symbol_by_address = nullptr;
  FindSymbolsByAddressFn find_symbols_by_address = nullptr;
  GetSymbolTableErrorFn get_symbol_table_error = nullptr;
  GetKindNameFn get_kind_name = nullptr;
  GetMapLibraryVersionFn get_map_library_version = nullptr;
  GetSymbolTableErrorCodeFn get_symbol_table_error_code = nullptr;
  GetSymbolTableErrorSystemFn get_symbol_table_error_system = nullptr;
  SetSymbolTableFlagsFn set_symbol_table_flags = nullptr;
  GetNoteCountFn get_note_count = nullptr;
  GetNotesFn get_notes = nullptr;
  GetNoteTextFn get_note_text = nullptr;
  GetNoteLineFn get_note_line = nullptr;
  FindNearestSymbolFn find_nearest_symbol = nullptr;
  FindNearestSymbolsFn find_nearest_symbols = nullptr;
#ifdef _WIN32
  ParseMapFileWFn parse_map_file_w = nullptr;
#endif
};

// Fills library; on failure returns false with a reason in *error.
bool LoadMapLibrary(MapLibrary& library, std::string* error);
