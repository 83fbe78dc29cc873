# `cmake --install`: the driver library, its public C headers, a CMake
# package (find_package(Gridmoor) gives Gridmoor::Gridmoor110) and a
# pkg-config file (gridmoor.pc), plus the reference host.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The installed library and host have one run path: the office's program
# folder, where the UNO libraries find the office's own libraries beside
# them (src/excel/calc). A package installed into the configured prefix, as
# the office is, reaches it from the files' own place ($ORIGIN/..), so that
# no absolute search path is compiled in; `cmake --install --prefix` to
# anywhere else needs the absolute one.
option(GRIDMOOR_RELATIVE_RUN_PATH
  "Installed files reach the office's program folder relative to their own place" OFF)
foreach(target Gridmoor110 gridmoor-host)
  set(run_path "${GRIDMOOR_OFFICE_PROGRAM_DIR}")
  if(GRIDMOOR_RELATIVE_RUN_PATH)
    set(installed_in "${CMAKE_INSTALL_FULL_LIBDIR}")
    if(target STREQUAL "gridmoor-host")
      set(installed_in "${CMAKE_INSTALL_FULL_BINDIR}")
    endif()
    file(RELATIVE_PATH run_path "${installed_in}" "${GRIDMOOR_OFFICE_PROGRAM_DIR}")
    set(run_path "$ORIGIN/${run_path}")
  endif()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${run_path}")
  # The build tree's run path is then the same folder. Left to CMake, it is
  # padded for the rewrite at install with an empty entry, which the loader
  # takes for the current folder: programs of the build tree would load
  # libraries from wherever they are started.
  if(NOT GRIDMOOR_RELATIVE_RUN_PATH)
    set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON)
  endif()
endforeach()

install(TARGETS Gridmoor110 EXPORT GridmoorTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/gridmoor
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
install(TARGETS gridmoor-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The dialogs module, in the folder beside the library where it looks for it.
if(TARGET Gridmoor110Dialogs)
  install(TARGETS Gridmoor110Dialogs LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/gridmoor110)
endif()

# The library is loaded with dlopen, but a host may also link it; either way
# its headers are the whole interface.
set_target_properties(Gridmoor110 PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")

set(GRIDMOOR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Gridmoor)
install(EXPORT GridmoorTargets NAMESPACE Gridmoor:: DESTINATION ${GRIDMOOR_CMAKE_DIR})
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/GridmoorConfig.cmake.in [=[
@PACKAGE_INIT@
include("${CMAKE_CURRENT_LIST_DIR}/GridmoorTargets.cmake")
# The path a host passes to dlopen.
get_target_property(Gridmoor_LIBRARY_FILE Gridmoor::Gridmoor110 LOCATION)
check_required_components(Gridmoor)
]=])
configure_package_config_file(${CMAKE_CURRENT_BINARY_DIR}/GridmoorConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/GridmoorConfig.cmake INSTALL_DESTINATION ${GRIDMOOR_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/GridmoorConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/GridmoorConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/GridmoorConfigVersion.cmake DESTINATION ${GRIDMOOR_CMAKE_DIR})

# The pkg-config file finds the prefix relative to its own folder, so that the
# package works wherever it is installed: one ".." per level of
# <libdir>/pkgconfig (three for a multiarch lib/x86_64-linux-gnu). An absolute
# libdir or includedir is written as it is; the prefix is then the configured
# one.
set(GRIDMOOR_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(GRIDMOOR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH GRIDMOOR_PC_PREFIX "/prefix/${GRIDMOOR_PC_DIR}" "/prefix")
  string(REGEX REPLACE "/$" "" GRIDMOOR_PC_PREFIX "${GRIDMOOR_PC_PREFIX}")
  set(GRIDMOOR_PC_PREFIX "\${pcfiledir}/${GRIDMOOR_PC_PREFIX}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(GRIDMOOR_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(GRIDMOOR_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/gridmoor.pc.in [=[
prefix=@GRIDMOOR_PC_PREFIX@
libdir=@GRIDMOOR_PC_LIBDIR@
includedir=@GRIDMOOR_PC_INCLUDEDIR@
# The driver library a host loads.
library=${libdir}/libGridmoor110.so

Name: gridmoor
Description: Spreadsheet driver for integrated production models (C host interface)
Version: @PROJECT_VERSION@
Cflags: -I${includedir}
Libs: -L${libdir} -lGridmoor110 -ldl
]=])
configure_file(${CMAKE_CURRENT_BINARY_DIR}/gridmoor.pc.in ${CMAKE_CURRENT_BINARY_DIR}/gridmoor.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/gridmoor.pc DESTINATION ${GRIDMOOR_PC_DIR})
