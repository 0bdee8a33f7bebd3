# SPDX-License-Identifier: MIT
# Run by cpack after it has made the packages (CPACK_POST_BUILD_SCRIPTS): each archive (.zip,
# .tar.gz) made again with its members in sorted order, every one of the same time, so that its
# bytes do not depend on the order a folder lists its files in. Debian packages are left alone:
# cpack sorts their members itself.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.zip$")
    set(format zip)
    set(compression None)
  elseif(package MATCHES "\\.tar\\.gz$")
    set(format gnutar)
    set(compression GZip)
  else()
    continue()
  endif()
  set(unpacked ${package}.members)
  file(REMOVE_RECURSE ${unpacked})
  file(MAKE_DIRECTORY ${unpacked})
  file(ARCHIVE_EXTRACT INPUT ${package} DESTINATION ${unpacked})
  file(GLOB_RECURSE members RELATIVE ${unpacked} ${unpacked}/*)
  list(SORT members)
  set(epoch $ENV{SOURCE_DATE_EPOCH})
  if(NOT epoch)
    set(epoch 0)
  endif()
  file(REMOVE ${package})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${epoch}
                          ${CMAKE_COMMAND} -DOUTPUT=${package} -DFORMAT=${format}
                          -DCOMPRESSION=${compression} "-DMEMBERS=${members}"
                          -P ${CMAKE_CURRENT_LIST_DIR}/write_archive.cmake
                  WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE failed)
  file(REMOVE_RECURSE ${unpacked})
  if(failed)
    message(FATAL_ERROR "could not write ${package} again in sorted order")
  endif()
endforeach()
