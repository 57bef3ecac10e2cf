# The floors of the program, bottom to top. A folder may include its own
# headers and those of the floors below it, never those above; the headless
# floors never include QtWidgets, and signal/ and files/ include no Qt at all. The check
# runs as part of building each library, so a stray include fails the build.
set(SONAVIR_FLOORS signal files display model evaluation gui app)

# sonavir_layer_library(<floor> <sources...>): the floor's static library,
# with its layering check.
function(sonavir_layer_library floor)
  set(_target sonavir_${floor})
  add_library(${_target} STATIC ${ARGN})
  target_include_directories(${_target} PUBLIC ${CMAKE_SOURCE_DIR})

  list(FIND SONAVIR_FLOORS ${floor} _index)
  set(_above)
  list(LENGTH SONAVIR_FLOORS _count)
  math(EXPR _next "${_index} + 1")
  if(_next LESS _count)
    math(EXPR _last "${_count} - 1")
    foreach(_i RANGE ${_next} ${_last})
      list(GET SONAVIR_FLOORS ${_i} _f)
      list(APPEND _above ${_f})
    endforeach()
  endif()
  if(floor STREQUAL "signal" OR floor STREQUAL "files")
    set(_qt none)
  elseif(floor STREQUAL "gui")
    set(_qt any)
  else()
    set(_qt nowidgets)
  endif()

  set(_files)
  foreach(_s IN LISTS ARGN)
    get_filename_component(_abs "${_s}" ABSOLUTE)
    list(APPEND _files "${_abs}")
  endforeach()
  string(REPLACE ";" "|" _above_arg "${_above}")
  string(REPLACE ";" "|" _files_arg "${_files}")
  set(_stamp ${CMAKE_CURRENT_BINARY_DIR}/${_target}.layering)
  add_custom_command(
    OUTPUT ${_stamp}
    COMMAND ${CMAKE_COMMAND} "-DFLOOR=${floor}" "-DABOVE=${_above_arg}" "-DQT=${_qt}"
            "-DFILES=${_files_arg}" "-DSTAMP=${_stamp}"
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayering.cmake
    DEPENDS ${_files} ${CMAKE_SOURCE_DIR}/cmake/CheckLayering.cmake
    COMMENT "Checking the includes of ${floor}/"
    VERBATIM)
  add_custom_target(${_target}_layering DEPENDS ${_stamp})
  add_dependencies(${_target} ${_target}_layering)
endfunction()
