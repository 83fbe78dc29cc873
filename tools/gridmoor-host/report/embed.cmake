# Writes the report's page and scripts into a C++ source as character
# arrays, so the program carries them and needs no installed copy.
# -DOUT=<file.cpp> -DINPUTS=name=file|name=file
set(text "// Generated from tools/gridmoor-host/report; do not edit.\n#include \"report/report_resources.h\"\n\nnamespace refhost {\n")
string(REPLACE "|" ";" INPUTS "${INPUTS}")
foreach(pair IN LISTS INPUTS)
  string(REPLACE "=" ";" parts "${pair}")
  list(GET parts 0 name)
  list(GET parts 1 file)
  file(READ "${file}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND text "extern const char ${name}[] = {\n    ${bytes}'\\0'};\n")
endforeach()
string(APPEND text "}  // namespace refhost\n")
file(WRITE "${OUT}.tmp" "${text}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
