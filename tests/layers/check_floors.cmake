# Fails when a file of one floor of src/ includes a floor above it, or a
# sibling on its own level: the floors stay a stack, never a circle.
#   cmake -DSOURCE_DIR=<folder holding the floors> -P check_floors.cmake
# Levels bottom to top; names joined by "|" share a level and may not include
# each other. `host` sits with the driver, above the domain: only the driver
# sees the host's records.
set(levels
  values text platform com excel excel/calc xml automation casedata "streams|optimisation" archive
  model "dataserver|ui" host driver)
# Public headers that belong to a floor: the host's record layouts are the
# host floor's, so the floors below it may not include them.
set(floor_of_gridmoor/host.h host)
set(floor_of_gridmoor/host_records.h host)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

set(names "")
set(rank 0)
foreach(level IN LISTS levels)
  string(REPLACE "|" ";" members "${level}")
  foreach(member IN LISTS members)
    list(APPEND names "${member}")
    set(rank_of_${member} ${rank})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

# The floor a path starting at SOURCE_DIR belongs to: its longest floor
# prefix, or the floor a public header is given to.
function(floor_of path out)
  if(DEFINED floor_of_${path})
    set(${out} "${floor_of_${path}}" PARENT_SCOPE)
    return()
  endif()
  set(found "")
  foreach(name IN LISTS names)
    string(LENGTH "${name}" length)
    string(LENGTH "${found}" found_length)
    if(path MATCHES "^${name}/" AND length GREATER found_length)
      set(found "${name}")
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.c")
set(faults 0)
foreach(file IN LISTS files)
  floor_of("${file}" own)
  if(own STREQUAL "")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" included "${line}")
    floor_of("${included}" other)
    if(other STREQUAL "" OR other STREQUAL own)
      continue()
    endif()
    if(rank_of_${other} GREATER_EQUAL rank_of_${own})
      message(SEND_ERROR "${file}: includes \"${included}\": floor ${other} is not below ${own}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) run up or across the floors")
endif()
list(LENGTH files count)
message(STATUS "${count} files: every include runs down")
