# Compares the defined dynamic symbols of LIBRARY with the names the public
# HEADERS declare GM_API. Run with cmake -P.
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()

# Only global symbols (upper-case type letters) are exported: the linker
# may keep local ones in the dynamic table (typeinfo of the standard
# library's templates, once Qt is linked in), and no host can bind to those.
set(actual "")
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]+ [A-Z] ([^ ]+)$")
    list(APPEND actual "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(expected "")
foreach(header IN LISTS HEADERS)
  file(STRINGS ${header} declarations REGEX "^GM_API ")
  foreach(declaration IN LISTS declarations)
    if(declaration MATCHES "([A-Za-z_][A-Za-z0-9_]*)[ ]*\\(")
      list(APPEND expected "${CMAKE_MATCH_1}")
    elseif(declaration MATCHES "([A-Za-z_][A-Za-z0-9_]*)[ ]*;")
      list(APPEND expected "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endforeach()

list(SORT actual)
list(SORT expected)
list(REMOVE_DUPLICATES expected)
if(NOT actual STREQUAL expected)
  set(extra ${actual})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${actual})
  message(FATAL_ERROR "dynamic symbols differ from the public exports\n"
    "  not exported: ${missing}\n  exported but not public: ${extra}")
endif()
list(LENGTH actual count)
message(STATUS "${count} exports, all public")
