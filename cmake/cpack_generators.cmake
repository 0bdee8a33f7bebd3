# SPDX-License-Identifier: MIT
# Read by cpack for each generator. The Debian packages leave out the archives' own documents
# (README, licence, changes and examples at the archive's top; each package has its copyright
# and changelog in its doc folder).
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND CPACK_K8MAP_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_K8MAP_SOURCE_DATE_EPOCH})
endif()

# Each package's own summary is the first line of its component's description: the project's
# summary would stand before it in every package.
if(CPACK_GENERATOR STREQUAL "DEB")
  list(REMOVE_ITEM CPACK_COMPONENTS_ALL Documents)
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
endif()
