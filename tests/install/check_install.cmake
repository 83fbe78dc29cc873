# Run by CTest (cmake -P): installs this build into WORK_DIR/prefix with
# libdir LIBDIR (empty: the default), then checks that a consumer project
# finds it with find_package(Gridmoor) and that pkg-config's answers are
# paths that exist and work.
cmake_minimum_required(VERSION 3.25)
foreach(var SOURCE_DIR BUILD_DIR WORK_DIR LIBRARY HOST MAN_DIR GENERATOR C_COMPILER CXX_COMPILER
            PKG_CONFIG)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${status}): ${command}\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

function(expect_file path what)
  if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
    message(FATAL_ERROR "${what}: '${path}' is not a file")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
set(tree "${WORK_DIR}/tree")
set(prefix "${WORK_DIR}/prefix")

# The project's install rules with this libdir, in a tree of their own that
# gets this build's library, host, help page and manual pages in place of building them again.
set(libdir_option "")
if(NOT LIBDIR STREQUAL "")
  set(libdir_option "-DCMAKE_INSTALL_LIBDIR=${LIBDIR}")
endif()
run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${tree}" -G "${GENERATOR}"
    "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}" "-DCMAKE_C_COMPILER=${C_COMPILER}"
    "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" "-DGRIDMOOR_SANITIZE=${SANITIZE}"
    -DGRIDMOOR_BUILD_TESTS=OFF ${libdir_option})
foreach(built "${LIBRARY}" "${HOST}" "${HELP_PAGE}" "${MAN_DIR}" ${DIALOGS})
  file(RELATIVE_PATH inside "${BUILD_DIR}" "${built}")
  get_filename_component(folder "${tree}/${inside}" DIRECTORY)
  file(COPY "${built}" DESTINATION "${folder}")
endforeach()
run("${CMAKE_COMMAND}" --install "${tree}" --prefix "${prefix}")

set(expected_libdir "${LIBDIR}")
if(expected_libdir STREQUAL "")
  set(expected_libdir "lib")
endif()
get_filename_component(library_name "${LIBRARY}" NAME)
set(installed_library "${prefix}/${expected_libdir}/${library_name}")
expect_file("${installed_library}" "the installed library")
# The dialogs module in the folder beside the library, where it looks.
if(DIALOGS)
  expect_file("${prefix}/${expected_libdir}/gridmoor110/dialogs.so" "the installed dialogs module")
endif()
# The Help buttons open the page beside the library.
expect_file("${prefix}/${expected_libdir}/Conflux.html" "the installed help page")
foreach(header host.h oleauto.h oleauto_compat.h worksheet_functions.h api.h)
  expect_file("${prefix}/include/gridmoor/${header}" "the installed header")
endforeach()
expect_file("${prefix}/bin/gridmoor-host" "the installed host")
foreach(page gridmoor-host.1 gridmoor-host-run.1 gridmoor-host-workbook-check.1)
  expect_file("${prefix}/share/man/man1/${page}" "the installed manual page")
endforeach()
expect_file("${prefix}/share/bash-completion/completions/gridmoor-host" "the bash completion")

# find_package from a consumer project, which then loads the library.
set(consumer_build "${WORK_DIR}/consumer")
run("${CMAKE_COMMAND}" -S "${CMAKE_CURRENT_LIST_DIR}/consumer" -B "${consumer_build}"
    -G "${GENERATOR}" "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_PREFIX_PATH=${prefix}"
    "-DCMAKE_C_FLAGS=${CONSUMER_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CONSUMER_FLAGS}")
run("${CMAKE_COMMAND}" --build "${consumer_build}")
# Leaks are the other suites' business; a sanitized consumer checks paths.
set(run_env "${CMAKE_COMMAND}" -E env ASAN_OPTIONS=detect_leaks=0)
run(${run_env} "${consumer_build}/consumer")
if(NOT output MATCHES "loaded ([^ ]+) ")
  message(FATAL_ERROR "the consumer said: ${output}")
endif()
file(REAL_PATH "${CMAKE_MATCH_1}" found)
file(REAL_PATH "${installed_library}" wanted)
if(NOT found STREQUAL wanted)
  message(FATAL_ERROR "find_package gave ${found}, the library is at ${wanted}")
endif()

# pkg-config, looking at this prefix only.
set(pkg_env "${CMAKE_COMMAND}" -E env "PKG_CONFIG_LIBDIR=${prefix}/${expected_libdir}/pkgconfig"
    PKG_CONFIG_PATH=)
run(${pkg_env} "${PKG_CONFIG}" --variable=library gridmoor)
string(STRIP "${output}" library)
expect_file("${library}" "pkg-config --variable=library")
file(REAL_PATH "${library}" found)
if(NOT found STREQUAL wanted)
  message(FATAL_ERROR "pkg-config's library is ${found}, the library is at ${wanted}")
endif()

run(${pkg_env} "${PKG_CONFIG}" --cflags --libs gridmoor)
string(STRIP "${output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
set(seen "")
foreach(flag IN LISTS flags)
  if(flag MATCHES "^-I(.+)$")
    expect_file("${CMAKE_MATCH_1}/gridmoor/host.h" "pkg-config's ${flag}")
    list(APPEND seen I)
  elseif(flag MATCHES "^-L(.+)$")
    expect_file("${CMAKE_MATCH_1}/${library_name}" "pkg-config's ${flag}")
    set(library_dir "${CMAKE_MATCH_1}")
    list(APPEND seen L)
  endif()
endforeach()
if(NOT "I" IN_LIST seen OR NOT "L" IN_LIST seen)
  message(FATAL_ERROR "pkg-config gave no -I or no -L: ${flags}")
endif()
# The flags build the same consumer by hand.
separate_arguments(consumer_flags UNIX_COMMAND "${CONSUMER_FLAGS}")
run("${C_COMPILER}" ${consumer_flags} "-DGRIDMOOR_LIBRARY=\"${library}\""
    "${CMAKE_CURRENT_LIST_DIR}/consumer/consumer.c" ${flags} -o "${WORK_DIR}/by-pkg-config")
run(${run_env} "LD_LIBRARY_PATH=${library_dir}" "${WORK_DIR}/by-pkg-config")
message(STATUS "installed with libdir '${expected_libdir}': find_package and pkg-config agree")
