# SPDX-License-Identifier: MIT
# cmake -DOUTPUT=... -DFORMAT=... -DCOMPRESSION=... -DEPOCH=... -DMEMBERS=a;b;... -P
# write_archive.cmake, in the folder the members are relative to: the archive of exactly those
# members, in that order, each with the time EPOCH.
execute_process(COMMAND date -u -d @${EPOCH} "+%Y-%m-%d %H:%M:%S" OUTPUT_VARIABLE mtime
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(COMPRESSION STREQUAL "None")
  file(ARCHIVE_CREATE OUTPUT ${OUTPUT} PATHS ${MEMBERS} FORMAT ${FORMAT} MTIME ${mtime})
else()
  file(ARCHIVE_CREATE OUTPUT ${OUTPUT} PATHS ${MEMBERS} FORMAT ${FORMAT}
       COMPRESSION ${COMPRESSION} MTIME ${mtime})
endif()
