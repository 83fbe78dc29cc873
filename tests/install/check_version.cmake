# Run by CTest (cmake -P): every place that states the version says
# VERSION, the CMake project's: gridmoor-host --version, the library as
# `identify` shows it, the pkg-config file, and the Python package both from
# the source tree and as its wheel (what Debian's package and pip install).
cmake_minimum_required(VERSION 3.25)
foreach(var VERSION HOST LIBRARY PC_FILE PYTHON SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(failures "")
function(expect what found)
  string(STRIP "${found}" found)
  if(NOT found STREQUAL VERSION)
    set(failures "${failures}\n  ${what} says '${found}', the project ${VERSION}" PARENT_SCOPE)
  endif()
endfunction()

function(run)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONDONTWRITEBYTECODE=1 ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${status}): ${command}\n${out}${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

run("${HOST}" --version)
string(REGEX REPLACE "^gridmoor-host " "" host_version "${output}")
expect("gridmoor-host --version" "${host_version}")

run("${HOST}" --library "${LIBRARY}" identify)
string(REGEX MATCH "library version: +([^\n]*)" _ "${output}")
expect("identify" "${CMAKE_MATCH_1}")

file(STRINGS "${PC_FILE}" pc_version REGEX "^Version: ")
string(REGEX REPLACE "^Version: " "" pc_version "${pc_version}")
expect("gridmoor.pc" "${pc_version}")

# Lines, not ";": CMake would split the argument there.
set(print_version "import sys\nsys.path.insert(0, sys.argv[1])\nimport gridmoor\nprint(gridmoor.__version__)")
run("${PYTHON}" -c "${print_version}" "${SOURCE_DIR}/python")
expect("the Python package's __version__ (source tree)" "${output}")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
run("${PYTHON}" -c
  "import sys\nsys.path.insert(0, sys.argv[1])\nimport gridmoor_backend\nprint(gridmoor_backend.build_wheel(sys.argv[2]))"
  "${SOURCE_DIR}/python/backend" "${WORK_DIR}")
string(STRIP "${output}" wheel)
if(NOT wheel MATCHES "^gridmoor-([^-]+)-")
  message(FATAL_ERROR "the wheel's name is '${wheel}'")
endif()
expect("the wheel's name" "${CMAKE_MATCH_1}")
run("${PYTHON}" -c "${print_version}" "${WORK_DIR}/${wheel}")
expect("the Python package's __version__ (wheel)" "${output}")

if(failures)
  message(FATAL_ERROR "the versions differ:${failures}")
endif()
message(STATUS "version ${VERSION} everywhere")
