# SPDX-License-Identifier: MIT
# Writes OUTPUT: the report's page, style and script (tools/writers/report) as string constants,
# so that mapsyms and the Python module carry them. Run as cmake -DSOURCE=... -DOUTPUT=... -P.
set(text "// Generated from tools/writers/report by cmake/embed_report.cmake: do not edit.\n#pragma once\n#include <string_view>\n")
foreach(part page.html:kReportPage page.css:kReportStyle page.js:kReportScript)
  string(REPLACE ":" ";" part "${part}")
  list(GET part 0 file)
  list(GET part 1 name)
  file(READ "${SOURCE}/${file}" content)
  string(APPEND text "inline constexpr std::string_view ${name} = R\"k8report(${content})k8report\";\n")
endforeach()
file(WRITE "${OUTPUT}.new" "${text}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
