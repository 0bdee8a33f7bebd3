# SPDX-License-Identifier: MIT
# What every Debian package carries in /usr/share/doc/<package>: the licence in Debian's
# machine-readable form (copyright) and the changelog in Debian's form, made from CHANGELOG.md
# and compressed as Debian does (changelog.gz, without a name or time in its header, so that
# builds are reproducible).
set(K8MAP_MAINTAINER "the kestrum8_map authors <kestrum8-map@example.org>")
set(K8MAP_DEBIAN_DOCS ${PROJECT_BINARY_DIR}/debian)

# The licence text as a Debian copyright file holds it: every line indented, empty lines as ".".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE k8map_license)
string(REGEX REPLACE "^MIT License\n\n" "" k8map_license "${k8map_license}")
string(REGEX REPLACE "\n$" "" k8map_license "${k8map_license}")
string(REPLACE "\n\n" "\n.\n" k8map_license "${k8map_license}")
string(REPLACE "\n" "\n " K8MAP_LICENSE_TEXT " ${k8map_license}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${K8MAP_DEBIAN_DOCS}/copyright @ONLY)

# The changelog: each "## VERSION (DATE)" section of CHANGELOG.md an entry, its items the
# entry's lines, its date the entry's time (noon UTC, or the "HH:MM" UTC after the date, for
# releases of one day).
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md k8map_changes)
set(k8map_changelog "")
set(k8map_entry_date "")
macro(k8map_close_entry)
  if(k8map_entry_date)
    string(APPEND k8map_changelog "\n -- ${K8MAP_MAINTAINER}  ${k8map_entry_date}\n\n")
  endif()
endmacro()
foreach(line IN LISTS k8map_changes)
  if(line MATCHES "^## ([0-9.]+) \\(([0-9]+)-([0-9]+)-([0-9]+)( [0-9]+:[0-9]+)?\\)")
    k8map_close_entry()
    string(APPEND k8map_changelog "kestrum8-map (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
    set(k8map_entry_time "${CMAKE_MATCH_5}")
    if(NOT k8map_entry_time)
      set(k8map_entry_time " 12:00")
    endif()
    # The entry's time, as Debian writes times.
    execute_process(COMMAND date -u -d "${CMAKE_MATCH_2}-${CMAKE_MATCH_3}-${CMAKE_MATCH_4}${k8map_entry_time}"
                            "+%a, %d %b %Y %H:%M:%S +0000"
                    OUTPUT_VARIABLE k8map_entry_date OUTPUT_STRIP_TRAILING_WHITESPACE)
  elseif(k8map_entry_date AND line MATCHES "^- (.*)")
    string(APPEND k8map_changelog "  * ${CMAKE_MATCH_1}\n")
  elseif(k8map_entry_date AND line MATCHES "^  +(.*)")
    string(APPEND k8map_changelog "    ${CMAKE_MATCH_1}\n")
  endif()
endforeach()
k8map_close_entry()
string(REGEX REPLACE "\n\n$" "\n" k8map_changelog "${k8map_changelog}")
file(WRITE ${K8MAP_DEBIAN_DOCS}/changelog "${k8map_changelog}")
execute_process(COMMAND gzip -9nf ${K8MAP_DEBIAN_DOCS}/changelog)

# Installs both into the doc folder of the package a component becomes.
function(k8map_install_debian_docs component package)
  install(FILES ${K8MAP_DEBIAN_DOCS}/copyright ${K8MAP_DEBIAN_DOCS}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endfunction()
