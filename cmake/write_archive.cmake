# SPDX-License-Identifier: MIT
# cmake -E env SOURCE_DATE_EPOCH=... cmake -DOUTPUT=... -DFORMAT=... -DCOMPRESSION=...
# -DMEMBERS=a;b;... -P write_archive.cmake, in the folder the members are relative to: the
# archive of exactly those members, in that order, every time in it SOURCE_DATE_EPOCH's.
if(COMPRESSION STREQUAL "None")
  file(ARCHIVE_CREATE OUTPUT ${OUTPUT} PATHS ${MEMBERS} FORMAT ${FORMAT})
else()
  file(ARCHIVE_CREATE OUTPUT ${OUTPUT} PATHS ${MEMBERS} FORMAT ${FORMAT} COMPRESSION ${COMPRESSION})
endif()
