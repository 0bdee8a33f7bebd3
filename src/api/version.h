// SPDX-License-Identifier: MIT
/* The library's version, kept in one place: the version resource, GetMapLibraryVersion and the
   public header's K8MAP_VERSION macros (which must match: a different definition of the same
   macro stops the build) all come from these numbers. Plain C preprocessor, so the resource
   compiler can read it too. */
#ifndef KESTRUM8_MAP_VERSION_H
#define KESTRUM8_MAP_VERSION_H

#define K8MAP_VERSION_MAJOR 1
#define K8MAP_VERSION_MINOR 1
#define K8MAP_VERSION_PATCH 0
#define K8MAP_VERSION_BUILD 0

#define K8MAP_STRINGIFY_(x) #x
#define K8MAP_STRINGIFY(x) K8MAP_STRINGIFY_(x)

#define K8MAP_FILE_NAME "kestrum8_map.dll"
#define K8MAP_VERSION_DOTTED                                    \
  K8MAP_STRINGIFY(K8MAP_VERSION_MAJOR)                          \
  "." K8MAP_STRINGIFY(K8MAP_VERSION_MINOR) "." K8MAP_STRINGIFY( \
      K8MAP_VERSION_PATCH) "." K8MAP_STRINGIFY(K8MAP_VERSION_BUILD)
#define K8MAP_LIBRARY_VERSION                                                  \
  K8MAP_STRINGIFY(K8MAP_VERSION_MAJOR)                                         \
  "." K8MAP_STRINGIFY(K8MAP_VERSION_MINOR) "." K8MAP_STRINGIFY(K8MAP_VERSION_PATCH)
/* What GetMapDllVersion returns: fixed, since hosts compare it; it does not follow the numbers
   above. */
#define K8MAP_VERSION_STRING K8MAP_FILE_NAME " Ver.1.0"

#endif
