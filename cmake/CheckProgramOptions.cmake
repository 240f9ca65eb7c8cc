# cmake -DVOCARA=<vocara> -DVOCARA_CLI=<vocara-cli> -DVERSION=<x.y.z> -DDATE=<release date>
#       -P CheckProgramOptions.cmake
# Both built programs print the version and date of the build; vocara answers --help and an
# unknown option without a display, so neither starts a window.
function(run name)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
                          ${ARGN}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  set(${name}_out "${out}" PARENT_SCOPE)
  set(${name}_err "${err}" PARENT_SCOPE)
  set(${name}_status "${status}" PARENT_SCOPE)
endfunction()

function(expect what actual expected)
  if(NOT "${actual}" STREQUAL "${expected}")
    message(FATAL_ERROR "${what}: '${actual}', expected '${expected}'")
  endif()
endfunction()

run(cli "${VOCARA_CLI}" --version)
expect("vocara-cli --version" "${cli_status}:${cli_out}" "0:vocara-cli ${VERSION} (${DATE})\n")
run(program "${VOCARA}" --version)
expect("vocara --version" "${program_status}:${program_out}${program_err}" "0:vocara ${VERSION} (${DATE})\n")

run(help "${VOCARA}" --help)
if(NOT help_status EQUAL 0 OR NOT help_out MATCHES "^usage: vocara \\[FILE\\]\n.*vocara\\(1\\)" OR NOT help_err STREQUAL "")
  message(FATAL_ERROR "vocara --help: ${help_status}\n${help_out}${help_err}")
endif()

run(bogus "${VOCARA}" --bogus)
expect("vocara --bogus" "${bogus_status}:${bogus_out}:${bogus_err}"
       "2::vocara: unknown option '--bogus'\nTry 'vocara --help' for more information.\n")
