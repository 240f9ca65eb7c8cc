# Installing and packaging: `cmake --install build --prefix P` (or `make install PREFIX=P`) and
# `make package` (a Debian package by CPack).
#
#   P/bin/vocara-cli, P/bin/vocara
#   P/share/doc/vocara/vocara.pdf                 the user guide, where Help / Help Topics finds it
#                                                 from the program (../share/doc/vocara from its
#                                                 folder, so under any prefix)
#   P/share/applications/vocara.desktop, P/share/icons/hicolor/scalable/apps/vocara.svg
#   P/share/mime/packages/vocara.xml              SAS files (*.sas, "SAS " at offset 0)
#   P/share/man/man1/vocara-cli.1.gz, P/share/man/man1/vocara.1.gz
#   P/share/doc/vocara/copyright, P/share/doc/vocara/changelog.gz   the licence and the releases
#
# The manual pages and the changelog are compressed as Debian wants them (gzip -9n: no name, no
# time stamp, so the same sources give the same bytes); man reads them so under any prefix.
#
# An installed program's folder is normally not writable, so its settings go to the per-user
# configuration folder (~/.config/vocara/vocara.INI); see ChooseProgramFiles.
include(GNUInstallDirs)

function(vocara_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${source} ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
set(_packaging ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_packaging})
set(_compressed ${_packaging}/changelog.gz ${_packaging}/vocara-cli.1.gz)
vocara_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${_packaging}/changelog.gz)
vocara_gzip(${CMAKE_SOURCE_DIR}/docs/vocara-cli.1 ${_packaging}/vocara-cli.1.gz)
if(VOCARA_GUI)
  vocara_gzip(${CMAKE_SOURCE_DIR}/docs/vocara.1 ${_packaging}/vocara.1.gz)
  list(APPEND _compressed ${_packaging}/vocara.1.gz)
endif()
add_custom_target(compressed-docs ALL DEPENDS ${_compressed})

# The changelog's newest entry names the version being built, or the package would claim a
# release that its changelog does not list.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog _newest LIMIT_COUNT 1)
if(NOT _newest MATCHES "^vocara \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${_newest}': add an entry for ${PROJECT_VERSION}")
endif()

install(TARGETS vocara-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_packaging}/vocara-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${_packaging}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(VOCARA_GUI)
  install(TARGETS vocara RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${_packaging}/vocara.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${VOCARA_HELP_PDF} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/data/vocara.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/data/vocara.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_SOURCE_DIR}/data/vocara-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME vocara.xml)

  # Installs into a fresh folder of the build tree and checks the tree.
  add_test(NAME install_tree
    COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DPREFIX=${CMAKE_BINARY_DIR}/install-test
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckInstall.cmake
  )
  # The package of `make package`, as lintian sees it (skipped where lintian is missing).
  find_program(VOCARA_LINTIAN lintian)
  if(NOT VOCARA_LINTIAN)
    set(VOCARA_LINTIAN "")
  endif()
  add_test(NAME package_is_lintian_clean
    COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DOUT=${CMAKE_BINARY_DIR}/package-test
            -DLINTIAN=${VOCARA_LINTIAN} -P ${CMAKE_SOURCE_DIR}/cmake/CheckPackage.cmake
  )
  set_tests_properties(package_is_lintian_clean PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED:")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vocara)
set(CPACK_PACKAGE_VENDOR "Vocara")
set(CPACK_PACKAGE_CONTACT "Vocara developers <vocara@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sound editor for mono WAV recordings with pitch correction")
# The extended description as dpkg shows it: lines under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION "\
Vocara analyses a recording of one voice or one instrument frame by frame,
lets you draw the pitch and loudness it should have, and renders a corrected
copy. It also removes noise, shows FFT spectra and note strengths, plays and
records, and generates test tones. vocara-cli runs the same operations from
the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The shared libraries come from dpkg-shlibdeps (dpkg-dev), or from the Debian 12 names without
# it; the Qt platform plugins are loaded at run time, so they are named in any case.
find_program(VOCARA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VOCARA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libsndfile1, libsamplerate0, libfftw3-double3")
endif()
if(VOCARA_GUI)
  if(NOT VOCARA_DPKG_SHLIBDEPS)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
           ", libqt6widgets6, libqt6gui6, libqt6core6, libportaudio2, libasound2, libjack-jackd2-0 | libjack0")
  endif()
  string(PREPEND CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, ")
  string(REGEX REPLACE ", $" "" CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, shared-mime-info, desktop-file-utils")
endif()
include(CPack)
