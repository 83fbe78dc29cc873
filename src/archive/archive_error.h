// Why an archive transfer stopped. The transfer routines throw; the
// operation that started the transfer catches the error and turns it into
// its one message (or, for tools, into the detailed text).
#pragma once

#include <stdexcept>
#include <string>

namespace archive {

class ArchiveError : public std::runtime_error {
 public:
  enum class Kind {
    kEnd,            // a read or write would pass the end of the archive
    kFormat,         // the bytes cannot be a case: signature, count or length
    kVersionTooNew,  // written by a newer driver
    kFile,           // the file could not be opened, locked, read or written
  };

  ArchiveError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  Kind kind() const noexcept { return kind_; }

 private:
  Kind kind_;
};

}  // namespace archive
