# cmake -DBUILD=<build folder> -DPREFIX=<empty folder to create> -P CheckInstall.cmake
# Installs the build into PREFIX and checks the installed tree.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}" OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()

foreach(path bin/vocara-cli bin/vocara lib/vocara/vocara lib/vocara/vocara.pdf share/applications/vocara.desktop
             share/icons/hicolor/scalable/apps/vocara.svg share/mime/packages/vocara.xml share/man/man1/vocara-cli.1)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "${path} is not installed")
  endif()
endforeach()

# bin/vocara leads to the program beside its help file: the program looks for the help at its
# real path with ".pdf" appended.
file(REAL_PATH "${PREFIX}/bin/vocara" program)
file(REAL_PATH "${PREFIX}/lib/vocara/vocara" expected)
if(NOT program STREQUAL expected)
  message(FATAL_ERROR "bin/vocara leads to ${program}, not ${expected}")
endif()
if(NOT EXISTS "${program}.pdf")
  message(FATAL_ERROR "no help file at ${program}.pdf")
endif()
file(READ "${program}.pdf" head LIMIT 5 HEX)
if(NOT head STREQUAL "255044462d")  # %PDF-
  message(FATAL_ERROR "${program}.pdf is not a PDF")
endif()

file(READ "${PREFIX}/share/applications/vocara.desktop" desktop)
foreach(line "Exec=vocara %f" "Icon=vocara" "MimeType=audio/x-wav;application/x-vocara-sas;")
  string(FIND "${desktop}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "vocara.desktop lacks '${line}'")
  endif()
endforeach()
file(READ "${PREFIX}/share/mime/packages/vocara.xml" mime)
if(NOT mime MATCHES "application/x-vocara-sas" OR NOT mime MATCHES "\\*\\.sas")
  message(FATAL_ERROR "vocara.xml does not describe SAS files")
endif()

# The installed command-line program runs.
execute_process(COMMAND "${PREFIX}/bin/vocara-cli" --help OUTPUT_VARIABLE help ERROR_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT help MATCHES "build")
  message(FATAL_ERROR "the installed vocara-cli does not run: ${help}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
