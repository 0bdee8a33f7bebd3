# SPDX-License-Identifier: MIT
# cpack: on Windows the distribution zip (bin/, lib/, include/, examples/, README.md at its
# root); elsewhere a Debian package per install component (three, four with the Python one),
# and a .tar.gz of the whole install tree. Installed programs and libraries are stripped; the build tree keeps its own.
set(CPACK_PACKAGE_NAME kestrum8_map)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "kestrum8_map developers")
set(CPACK_PACKAGE_CONTACT "kestrum8_map developers <kestrum8_map@invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Reads symbol map files into a flat list of name/value records")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES TRUE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kestrum8_map-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_PACKAGE_FILE_NAME kestrum8_map-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL Runtime Development Tools)
  if(K8MAP_PYTHON)
    list(APPEND CPACK_COMPONENTS_ALL Python)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-kestrum8-map)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
    # The module is built for this Python: its version is the package's dependency. The
    # library is compiled in, so it needs no other of these packages.
    math(EXPR K8MAP_PYTHON_NEXT "${Python3_VERSION_MINOR} + 1")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
        "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${K8MAP_PYTHON_NEXT})")
    set(CPACK_COMPONENT_PYTHON_DESCRIPTION
        "Reads symbol map files into symbol tables: the Python package kestrum8_map")
  endif()
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkestrum8-map1)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
      "Reads symbol map files into name/value records: the shared library")

  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkestrum8-map-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libkestrum8-map1 (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
      "Reads symbol map files into name/value records: header, CMake and pkg-config files")

  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kestrum8-map-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libkestrum8-map1 (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_TOOLS_DESCRIPTION
      "Reads symbol map files into name/value records: the mapsyms and maptokens programs")
endif()

include(CPack)
