# SPDX-License-Identifier: MIT
# Windows: the DLL's file names and its import libraries, made from the module-definition file
# after the link. Both give C and C++ callers the symbols they reference on x86 (_MapParse@4 for
# the stdcall functions, _GetRecordCount for the cdecl ones), each importing the undecorated
# export name:
# - kestrum8_map.lib, in the short import format that MSVC's linker accepts with /SAFESEH, and
#   MinGW's linker too; the target's own import library. MinGW's dlltool writes only the long
#   format, so llvm-dlltool makes it.
# - libkestrum8_map.dll.a, the long format under MinGW's usual name, by MinGW's own dlltool.
set_target_properties(kestrum8_map PROPERTIES PREFIX "" OUTPUT_NAME kestrum8_map
                      IMPORT_PREFIX "" IMPORT_SUFFIX ".lib")
target_include_directories(kestrum8_map PRIVATE ${PROJECT_SOURCE_DIR}/src/api)
target_link_options(kestrum8_map PRIVATE -Wl,--kill-at)

find_program(K8MAP_DLLTOOL NAMES i686-w64-mingw32-dlltool dlltool REQUIRED)
find_program(K8MAP_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
set(K8MAP_DEF_FILE ${PROJECT_SOURCE_DIR}/src/api/kestrum8_map.def)
set(K8MAP_MINGW_IMPORT_LIBRARY ${PROJECT_BINARY_DIR}/lib/libkestrum8_map.dll.a)
# dlltool names the members and symbols of what it writes after a prefix, by default the
# output's whole path: a fixed prefix and a relative output keep build folders out of them.
add_custom_command(TARGET kestrum8_map POST_BUILD
  COMMAND ${K8MAP_LLVM_DLLTOOL} -m i386 -k -d ${K8MAP_DEF_FILE} -l $<TARGET_LINKER_FILE:kestrum8_map>
  COMMAND ${K8MAP_DLLTOOL} -k -d ${K8MAP_DEF_FILE} -D kestrum8_map.dll -t libkestrum8_map
          -l libkestrum8_map.dll.a
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/lib
  COMMENT "Import libraries: kestrum8_map.lib (short format) and libkestrum8_map.dll.a")
