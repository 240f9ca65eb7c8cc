# Each library compiles against an include root of its own holding only the layers it may use:
# a folder of symbolic links to src/<layer>. An include of a header from a layer above (the
# program from a port, the Qt adapters from a view, the command line from the program) names a
# file that is not there, so it fails to compile rather than waiting for a review to find it.
# "ports" stands for the platform ports without their Qt adapters (src/platform/*.h).
function(vocara_include_root target name)
  set(root ${CMAKE_BINARY_DIR}/layers/${name})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(layer IN LISTS ARGN)
    if(layer STREQUAL "ports")
      file(MAKE_DIRECTORY ${root}/platform)
      file(GLOB ports CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/*.h)
      foreach(port IN LISTS ports)
        get_filename_component(file ${port} NAME)
        file(CREATE_LINK ${port} ${root}/platform/${file} SYMBOLIC)
      endforeach()
    else()
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${layer} ${root}/${layer} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} PRIVATE ${root})
endfunction()
