# Warnings on the project's own code only; third-party headers are included
# as system headers and stay out of it. They are errors where asked for (the
# presets and CI): a packager's compiler may warn where ours does not.
option(GRIDMOOR_WARNINGS_AS_ERRORS "Treat warnings in the project's code as errors" OFF)

function(gridmoor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(GRIDMOOR_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
