# Fails when a file of one floor includes a floor above it, or a sibling on
# its own level: the floors stay a stack, never a circle. Inside a floor,
# its rooms (sub-folders) stand in the same order among themselves, below
# the files at the floor's own top. Fails too when a folder holds more
# files or lines than a newcomer can take in.
#   cmake -DSOURCE_DIR=<folder holding the floors> [-DLEVELS=a,b|c,d]
#         [-DROOMS=floor=x|y,z;...] -P check_floors.cmake
# Levels bottom to top, separated by ","; names joined by "|" share a level
# and may not include each other. Among a floor's rooms, "." names the files
# at the floor's own top; unnamed, they stand above every room. Without
# LEVELS and ROOMS: the floors of src/ and their rooms.
set(max_files 16)
set(max_lines 3000)
if(NOT DEFINED LEVELS)
  # `host` sits with the driver, above the domain: only the driver sees
  # the host's records.
  set(LEVELS "outcome|values,text,platform,com,excel,excel/calc,xml,automation,casedata,streams|optimisation,archive,model,dataserver|ui,host,driver")
  set(ROOMS
    "excel/calc=formulas|basic|process,packages|locks,calls,cells,documents,macros"
    "driver=records|application,commands"
    "ui=widgets,dialogs"
    "casedata=.,values"
    "archive=.,records,json"
    "com=.,variants")
endif()
# Public headers that belong to a floor: the host's record layouts are the
# host floor's, so the floors below it may not include them.
set(floor_of_gridmoor/host.h host)
set(floor_of_gridmoor/host_records.h host)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

# rank_<prefix><name> for every name of a "a,b|c" list, and the names.
function(rank_levels list prefix names_out)
  string(REPLACE "," ";" levels "${list}")
  set(names "")
  set(rank 0)
  foreach(level IN LISTS levels)
    string(REPLACE "|" ";" members "${level}")
    foreach(member IN LISTS members)
      list(APPEND names "${member}")
      set(rank_${prefix}${member} ${rank} PARENT_SCOPE)
    endforeach()
    math(EXPR rank "${rank} + 1")
  endforeach()
  set(${names_out} "${names}" PARENT_SCOPE)
endfunction()

rank_levels("${LEVELS}" "" floors)
foreach(entry IN LISTS ROOMS)
  string(REGEX REPLACE "=.*" "" floor "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" rooms "${entry}")
  rank_levels("${rooms}" "${floor}/" rooms_of_${floor})
endforeach()

# The floor a path belongs to (its longest floor prefix, or the floor a
# public header is given to), and its room inside that floor ("." for the
# floor's own top).
function(place_of path floor_out room_out)
  if(DEFINED floor_of_${path})
    set(${floor_out} "${floor_of_${path}}" PARENT_SCOPE)
    set(${room_out} "." PARENT_SCOPE)
    return()
  endif()
  set(found "")
  foreach(name IN LISTS floors)
    string(LENGTH "${name}" length)
    string(LENGTH "${found}" found_length)
    if(path MATCHES "^${name}/" AND length GREATER found_length)
      set(found "${name}")
    endif()
  endforeach()
  set(room ".")
  foreach(name IN LISTS rooms_of_${found})
    if(path MATCHES "^${found}/${name}/")
      set(room "${name}")
    endif()
  endforeach()
  set(${floor_out} "${found}" PARENT_SCOPE)
  set(${room_out} "${room}" PARENT_SCOPE)
endfunction()

# Whether an include from room `own` to room `other` of one floor runs up or
# across ("." is the floor's own top).
function(room_fault floor own other out)
  set(fault FALSE)
  if(NOT own STREQUAL other)
    set(top 1000)  # the floor's top, when not among its rooms
    foreach(room own other)
      set(r ${top})
      if(DEFINED rank_${floor}/${${room}})
        set(r ${rank_${floor}/${${room}}})
      endif()
      set(rank_${room} ${r})
    endforeach()
    if(rank_other GREATER_EQUAL rank_own)
      set(fault TRUE)
    endif()
  endif()
  set(${out} ${fault} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.c")
set(faults 0)
foreach(file IN LISTS files)
  place_of("${file}" own own_room)
  if(own STREQUAL "")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" included "${line}")
    place_of("${included}" other other_room)
    if(other STREQUAL "")
      continue()
    endif()
    if(other STREQUAL own)
      room_fault("${own}" "${own_room}" "${other_room}" fault)
      if(fault)
        message(SEND_ERROR "${file}: includes \"${included}\": room ${other}/${other_room} "
                           "is not below ${own}/${own_room}")
        math(EXPR faults "${faults} + 1")
      endif()
    elseif(rank_${other} GREATER_EQUAL rank_${own})
      message(SEND_ERROR "${file}: includes \"${included}\": floor ${other} is not below ${own}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()

# Every folder: at most max_files sources and max_lines lines.
file(GLOB_RECURSE everything LIST_DIRECTORIES true RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
foreach(folder IN LISTS everything ITEMS ".")
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/${folder}")
    continue()
  endif()
  file(GLOB sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp"
       "${SOURCE_DIR}/${folder}/*.c" "${SOURCE_DIR}/${folder}/*.js")
  list(LENGTH sources count)
  set(total 0)
  foreach(source IN LISTS sources)
    file(READ "${source}" content)
    string(REGEX REPLACE "[^\n]" "" newlines "${content}")
    string(LENGTH "${newlines}" n)
    math(EXPR total "${total} + ${n}")
  endforeach()
  if(count GREATER max_files OR total GREATER max_lines)
    message(SEND_ERROR "${folder}: ${count} files, ${total} lines (a room holds at most "
                       "${max_files} files and ${max_lines} lines)")
    math(EXPR faults "${faults} + 1")
  endif()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "${faults} fault(s): includes that run up or across, or rooms too big")
endif()
list(LENGTH files count)
message(STATUS "${count} files: every include runs down, every room is small")
