# Checks the built help: cmake -DPDF=vocara.pdf -DGUIDE=user-guide.md [-DPDFTOTEXT=path] -P this
# The file must exist, start with "%PDF-" and end with "%%EOF"; its extracted text must hold
# every heading of the Markdown guide (whitespace runs compared as one space, ligatures as
# their letters).
if(NOT EXISTS "${PDF}")
  message(FATAL_ERROR "${PDF} was not built")
endif()
file(READ "${PDF}" head LIMIT 5 HEX)
if(NOT head STREQUAL "255044462d")  # %PDF-
  message(FATAL_ERROR "${PDF} does not start like a PDF")
endif()
file(SIZE "${PDF}" size)
math(EXPR tail_offset "${size} - 16")
file(READ "${PDF}" tail OFFSET ${tail_offset} HEX)
if(NOT tail MATCHES "2525454f46")  # %%EOF
  message(FATAL_ERROR "${PDF} is cut short (no %%EOF at its end)")
endif()

file(STRINGS "${GUIDE}" headings REGEX "^#+ ")
list(LENGTH headings heading_count)
if(heading_count LESS 10)
  message(FATAL_ERROR "The guide has only ${heading_count} headings")
endif()

if(NOT PDFTOTEXT)
  message("SKIPPED: pdftotext (poppler-utils) is not installed; only the PDF's frame was checked")
  return()
endif()
execute_process(COMMAND "${PDFTOTEXT}" -enc UTF-8 "${PDF}" - OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pdftotext could not read ${PDF}")
endif()
string(ASCII 12 form_feed)  # between pages
string(REGEX REPLACE "[ \t\r\n${form_feed}]+" " " text "${text}")
# The PDF's fonts set "fi", "fl", "ff", "ffi" and "ffl" as ligatures; read them as letters.
foreach(pair "ﬁ;fi" "ﬂ;fl" "ﬀ;ff" "ﬃ;ffi" "ﬄ;ffl")
  list(GET pair 0 ligature)
  list(GET pair 1 letters)
  string(REPLACE "${ligature}" "${letters}" text "${text}")
endforeach()
set(missing "")
foreach(heading IN LISTS headings)
  string(REGEX REPLACE "^#+ +" "" heading "${heading}")
  string(REGEX REPLACE "[`*]" "" heading "${heading}")
  string(FIND "${text}" "${heading}" at)
  if(at EQUAL -1)
    list(APPEND missing "${heading}")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "Headings missing from ${PDF}: ${missing}")
endif()
message("${PDF}: ${size} bytes, all ${heading_count} headings found")
