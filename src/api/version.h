// SPDX-License-Identifier: MIT
/* The library's version: the numbers of kestrum8_map_version.h (made by the build from CMake's
   project version, the one place it is written) and what is built from them, for the version
   resource, GetMapLibraryVersion and GetMapDllVersion. Plain C preprocessor, so the resource
   compiler can read it too. */
#ifndef KESTRUM8_MAP_API_VERSION_H
#define KESTRUM8_MAP_API_VERSION_H

#include "kestrum8_map_version.h"

#define K8MAP_VERSION_BUILD 0

#define K8MAP_STRINGIFY_(x) #x
#define K8MAP_STRINGIFY(x) K8MAP_STRINGIFY_(x)

#define K8MAP_FILE_NAME "kestrum8_map.dll"
#define K8MAP_VERSION_DOTTED                                    \
  K8MAP_STRINGIFY(K8MAP_VERSION_MAJOR)                          \
  "." K8MAP_STRINGIFY(K8MAP_VERSION_MINOR) "." K8MAP_STRINGIFY( \
      K8MAP_VERSION_PATCH) "." K8MAP_STRINGIFY(K8MAP_VERSION_BUILD)
#define K8MAP_LIBRARY_VERSION K8MAP_VERSION
/* What GetMapDllVersion returns: fixed, since hosts compare it; it does not follow the numbers
   above. */
#define K8MAP_VERSION_STRING K8MAP_FILE_NAME " Ver.1.0"

#endif
