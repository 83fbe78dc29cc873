// What the host asks of the data server, as values: a tag read (code 96), a
// tag written (code 97), a command (code 98). The driver's codecs make them
// from the host's records and write a read's text back.
#pragma once

#include <string>

namespace casedata {

struct TagRead {
  std::string tag;  // such as Excel.Sheet[{Results}].Cell[{B4}].Content
};

struct TagWrite {
  std::string tag;
  std::string value;  // the written text
};

struct CommandText {
  std::string text;  // such as Excel.RunMacro('Recalc')
};

}  // namespace casedata
