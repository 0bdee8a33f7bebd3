# SPDX-License-Identifier: MIT
# What an install lays out, in components that the packages follow: Runtime (the library),
# Development (header, import libraries, CMake package, pkg-config file), Tools (mapsyms,
# maptokens and their manual pages), and with K8MAP_PYTHON, Python (the package kestrum8_map).
# The folders are GNUInstallDirs' (on Debian, libraries in lib/<multiarch>); the README, licence,
# changes and examples go to the archives' top, the Debian packages' documents to each
# package's doc folder.
include(CMakePackageConfigHelpers)
set(K8MAP_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kestrum8_map)

install(TARGETS kestrum8_map EXPORT kestrum8_map-targets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
                NAMELINK_COMPONENT Development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(FILES include/kestrum8_map.h ${PROJECT_BINARY_DIR}/include/kestrum8_map_version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

# find_package(kestrum8_map CONFIG) gives the imported target kestrum8_map::kestrum8_map.
install(EXPORT kestrum8_map-targets NAMESPACE kestrum8_map:: FILE kestrum8_mapTargets.cmake
        DESTINATION ${K8MAP_CMAKE_PACKAGE_DIR} COMPONENT Development)
configure_package_config_file(cmake/kestrum8_mapConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kestrum8_mapConfig.cmake INSTALL_DESTINATION ${K8MAP_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestrum8_mapConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kestrum8_mapConfig.cmake
              ${PROJECT_BINARY_DIR}/kestrum8_mapConfigVersion.cmake
        DESTINATION ${K8MAP_CMAKE_PACKAGE_DIR} COMPONENT Development)

# The pkg-config file, made as it is installed: installed into the system's own /usr (the Debian
# packages) it states plain paths, as the system's .pc files do; anywhere else (a prefix, an
# archive unpacked) the prefix follows the file, so that the tree works where it lies.
string(REGEX REPLACE "[^/]+" ".." k8map_pc_up "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
install(CODE "
  set(PROJECT_VERSION ${PROJECT_VERSION})
  set(K8MAP_PC_LIBDIR \"\\\${prefix}/${CMAKE_INSTALL_LIBDIR}\")
  set(K8MAP_PC_INCLUDEDIR \"\\\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}\")
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(K8MAP_PC_PREFIX /usr)
  else()
    set(K8MAP_PC_PREFIX \"\\\${pcfiledir}/${k8map_pc_up}\")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kestrum8_map.pc.in
                 ${PROJECT_BINARY_DIR}/pkgconfig/kestrum8_map.pc @ONLY)
  file(INSTALL ${PROJECT_BINARY_DIR}/pkgconfig/kestrum8_map.pc
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")
" COMPONENT Development)

if(K8MAP_TOOLS)
  install(TARGETS mapsyms maptokens RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tools)
  install(FILES ${K8MAP_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Tools)
endif()

if(K8MAP_PYTHON)
  set(K8MAP_PYTHON_DIR lib/python3/dist-packages/kestrum8_map)  # where Debian's Python looks
  install(TARGETS k8map_python LIBRARY DESTINATION ${K8MAP_PYTHON_DIR} COMPONENT Python)
  install(FILES python/kestrum8_map/__init__.py python/kestrum8_map/__init__.pyi
                python/kestrum8_map/py.typed
          DESTINATION ${K8MAP_PYTHON_DIR} COMPONENT Python)
  # The distribution's metadata beside the package, so that importlib.metadata knows it.
  set(K8MAP_DIST_INFO ${PROJECT_BINARY_DIR}/kestrum8_map-${PROJECT_VERSION}.dist-info)
  file(WRITE ${K8MAP_DIST_INFO}/METADATA
       "Metadata-Version: 2.1\nName: kestrum8_map\nVersion: ${PROJECT_VERSION}\n"
       "Summary: Symbol map files: every symbol with its kind, scope, bit and line, and lookups by name and address\n"
       "License: MIT\nClassifier: License :: OSI Approved :: MIT License\n")
  file(WRITE ${K8MAP_DIST_INFO}/INSTALLER "dpkg\n")
  install(DIRECTORY ${K8MAP_DIST_INFO} DESTINATION ${K8MAP_PYTHON_DIR}/.. COMPONENT Python)
endif()

if(WIN32)
  install(FILES ${K8MAP_MINGW_IMPORT_LIBRARY} ${K8MAP_DEF_FILE} DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT Development)
endif()

# The archives' own documents, at their top; the Debian packages leave them out.
install(FILES README.md LICENSE CHANGELOG.md DESTINATION . COMPONENT Documents)
install(FILES examples/host.c examples/sample.map DESTINATION examples COMPONENT Documents)

if(NOT WIN32)
  include(cmake/debian_docs.cmake)
  k8map_install_debian_docs(Runtime libkestrum8-map1)
  k8map_install_debian_docs(Development libkestrum8-map-dev)
  k8map_install_debian_docs(Tools kestrum8-map-tools)
  if(K8MAP_PYTHON)
    k8map_install_debian_docs(Python python3-kestrum8-map)
  endif()
endif()
