# cmake -DBUILD=<build folder> -DPREFIX=<empty folder to create> -P CheckInstall.cmake
# Installs the build into PREFIX and checks the installed tree.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}" OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()

foreach(path bin/vocara-cli bin/vocara share/doc/vocara/vocara.pdf share/applications/vocara.desktop
             share/icons/hicolor/scalable/apps/vocara.svg share/mime/packages/vocara.xml
             share/man/man1/vocara-cli.1.gz share/man/man1/vocara.1.gz
             share/doc/vocara/copyright share/doc/vocara/changelog.gz)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "${path} is not installed")
  endif()
endforeach()

# bin/vocara is the program itself, and Help / Help Topics finds the guide from its real path:
# ../share/doc/vocara/vocara.pdf from the program's folder, whatever the prefix.
if(IS_SYMLINK "${PREFIX}/bin/vocara")
  message(FATAL_ERROR "bin/vocara is a link; the guide is found from the program's real folder")
endif()
set(guide "${PREFIX}/bin/../share/doc/vocara/vocara.pdf")
file(READ "${guide}" head LIMIT 5 HEX)
if(NOT head STREQUAL "255044462d")  # %PDF-
  message(FATAL_ERROR "${guide} is not a PDF")
endif()

# Both manual pages are pages of section 1 that name their program.
foreach(page vocara vocara-cli)
  execute_process(COMMAND gzip -dc "${PREFIX}/share/man/man1/${page}.1.gz" OUTPUT_VARIABLE title)
  string(REGEX REPLACE "\n.*" "" title "${title}")
  string(TOUPPER "${page}" upper)
  if(NOT title MATCHES "^\\.TH ${upper} 1 ")
    message(FATAL_ERROR "${page}.1 starts with '${title}', not a section 1 page of ${page}")
  endif()
endforeach()

file(READ "${PREFIX}/share/applications/vocara.desktop" desktop)
foreach(line "Exec=vocara %f" "Icon=vocara" "MimeType=audio/x-wav;audio/wav;application/x-vocara-sas;")
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
# So does the installed desktop program, without a display for --version.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY "${PREFIX}/bin/vocara" --version
                OUTPUT_VARIABLE version ERROR_VARIABLE version RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT version MATCHES "^vocara [0-9]")
  message(FATAL_ERROR "the installed vocara does not run: ${version}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
