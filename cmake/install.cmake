# SPDX-License-Identifier: MIT
# What an install lays out, in components that the packages follow: Runtime (the library),
# Development (header, import libraries, CMake package, pkg-config file), Tools (mapsyms,
# maptokens), and with K8MAP_PYTHON, Python (the package kestrum8_map).
include(CMakePackageConfigHelpers)
set(K8MAP_CMAKE_PACKAGE_DIR lib/cmake/kestrum8_map)

install(TARGETS kestrum8_map EXPORT kestrum8_map-targets
        RUNTIME DESTINATION bin COMPONENT Runtime
        LIBRARY DESTINATION lib COMPONENT Runtime NAMELINK_COMPONENT Development
        ARCHIVE DESTINATION lib COMPONENT Development)
install(FILES include/kestrum8_map.h ${PROJECT_BINARY_DIR}/include/kestrum8_map_version.h
        DESTINATION include COMPONENT Development)

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

configure_file(cmake/kestrum8_map.pc.in ${PROJECT_BINARY_DIR}/kestrum8_map.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kestrum8_map.pc DESTINATION lib/pkgconfig
        COMPONENT Development)

if(K8MAP_TOOLS)
  install(TARGETS mapsyms maptokens RUNTIME DESTINATION bin COMPONENT Tools)
endif()

if(K8MAP_PYTHON)
  set(K8MAP_PYTHON_DIR lib/python3/dist-packages/kestrum8_map)  # where Debian's Python looks
  install(TARGETS k8map_python LIBRARY DESTINATION ${K8MAP_PYTHON_DIR} COMPONENT Python)
  install(FILES python/kestrum8_map/__init__.py python/kestrum8_map/__init__.pyi
                python/kestrum8_map/py.typed
          DESTINATION ${K8MAP_PYTHON_DIR} COMPONENT Python)
endif()

if(WIN32)
  install(FILES ${K8MAP_MINGW_IMPORT_LIBRARY} ${K8MAP_DEF_FILE} DESTINATION lib
          COMPONENT Development)
  install(FILES examples/host.c DESTINATION examples COMPONENT Development)
  install(FILES README.md DESTINATION . COMPONENT Development)
endif()
