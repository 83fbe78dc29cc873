# Warnings on the project's own code only; third-party headers are included
# as system headers and stay out of it. They are errors where asked for (the
# presets and CI): a packager's compiler may warn where ours does not.
option(GRIDMOOR_WARNINGS_AS_ERRORS "Treat warnings in the project's code as errors" OFF)

function(gridmoor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # GCC 12's optimiser sees overlapping copies inside std::string's own
  # concatenation that cannot happen (its bugs 105329 and 105651, mended in
  # 13): the warning says nothing about this code, so it is off there.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
     AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
  endif()
  if(GRIDMOOR_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
