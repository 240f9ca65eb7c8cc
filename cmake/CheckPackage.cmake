# cmake -DBUILD=<build folder> -DOUT=<folder to create> -DLINTIAN=<lintian or empty> -P CheckPackage.cmake
# Builds the Debian package of `make package` into OUT and has lintian check it: no error and no
# warning (its informational tags are printed but pass). Skipped without lintian.
if(NOT LINTIAN)
  message("SKIPPED: lintian is not installed (scripts/install-deps --tests installs it)")
  return()
endif()
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND cpack -G DEB -B "${OUT}" --config "${BUILD}/CPackConfig.cmake"
                OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE status)
file(GLOB deb "${OUT}/*.deb")
if(NOT status EQUAL 0 OR NOT deb)
  message(FATAL_ERROR "cpack made no package:\n${log}")
endif()
execute_process(COMMAND "${LINTIAN}" --fail-on error,warning --info --pedantic ${deb} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lintian finds errors or warnings in ${deb}")
endif()
file(REMOVE_RECURSE "${OUT}")
