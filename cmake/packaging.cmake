# SPDX-License-Identifier: MIT
# cpack: on Windows the distribution zip; elsewhere a Debian package per install component
# (three, four with the Python one) and a .tar.gz of the whole install tree. Both archives
# unpack into one folder named after the package, its version and system; installed programs
# and libraries are stripped, the build tree keeps its own.
set(CPACK_PACKAGE_NAME kestrum8_map)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the kestrum8_map authors")
set(CPACK_PACKAGE_CONTACT "the kestrum8_map authors <kestrum8-map@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "symbol map file reader")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The packages' files carry one time, the newest release's date in CHANGELOG.md (noon UTC, or its
# time), unless
# the build's environment gives SOURCE_DATE_EPOCH: two builds of the same sources make the same
# packages.
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md k8map_release REGEX "^## [0-9.]+ \\(" LIMIT_COUNT 1)
string(REGEX MATCH "[0-9]+-[0-9]+-[0-9]+( [0-9]+:[0-9]+)?" k8map_release_date "${k8map_release}")
if(NOT k8map_release_date MATCHES ":")
  string(APPEND k8map_release_date " 12:00")
endif()
execute_process(COMMAND date -u -d "${k8map_release_date}" +%s
                OUTPUT_VARIABLE K8MAP_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE)
# Which components each generator takes (the archives' own documents are for the archives).
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_generators.cmake)
set(CPACK_K8MAP_SOURCE_DATE_EPOCH ${K8MAP_SOURCE_DATE_EPOCH})
# The archives' members in sorted order (the Debian packages' are already).
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/sort_archive.cmake)
set(K8MAP_PACKAGE_COMPONENTS Runtime Development Tools)
if(K8MAP_PYTHON)
  list(APPEND K8MAP_PACKAGE_COMPONENTS Python)
endif()
set(CPACK_COMPONENTS_ALL ${K8MAP_PACKAGE_COMPONENTS} Documents)

# What every package's description begins with after its summary (at most 80 columns a line).
set(K8MAP_ABOUT
    "kestrum8_map reads the symbol map files an embedded build tool writes:\n"
    "every symbol with its kind, scope, value and line, and lookups by name\n"
    "and by address.")
string(CONCAT K8MAP_ABOUT ${K8MAP_ABOUT})

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kestrum8_map-${PROJECT_VERSION}-win32)
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_PACKAGE_FILE_NAME kestrum8_map-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkestrum8-map1)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
      "symbol map file reader - shared library\n${K8MAP_ABOUT}\n.\nThis package holds the shared library.")
  # The dynamic linker's cache is brought up to date by dpkg's ldconfig trigger. cpack would
  # write maintainer scripts that call ldconfig; naming scripts that do not exist as extra
  # control files keeps it from writing them.
  file(WRITE ${PROJECT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers
      ${PROJECT_BINARY_DIR}/debian/no-scripts/postinst ${PROJECT_BINARY_DIR}/debian/no-scripts/postrm)

  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkestrum8-map-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libkestrum8-map1 (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
      "symbol map file reader - development files\n${K8MAP_ABOUT}\n.\nThis package holds the header, the CMake package and the pkg-config file.")

  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kestrum8-map-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libkestrum8-map1 (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_TOOLS_DESCRIPTION
      "symbol map file reader - command-line programs\n${K8MAP_ABOUT}\n.\nThis package holds mapsyms (list, look up, symbolize, compare and check\nmap files) and maptokens (a map file's tokens).")

  if(K8MAP_PYTHON)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-kestrum8-map)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
    # The module is built for this Python: its version is the package's dependency. The
    # library is compiled in, so it needs no other of these packages.
    math(EXPR K8MAP_PYTHON_NEXT "${Python3_VERSION_MINOR} + 1")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
        "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${K8MAP_PYTHON_NEXT})")
    set(CPACK_COMPONENT_PYTHON_DESCRIPTION
        "symbol map file reader - Python package\n${K8MAP_ABOUT}\n.\nThis package holds the Python package kestrum8_map.")
  endif()
endif()

include(CPack)
