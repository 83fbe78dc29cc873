// Why an archive transfer stopped. A transfer that fails records its
// failure in the archive and moves nothing more; the routine that ran the
// whole transfer hands the failure back, and the operation that started it
// turns it into its one message (or, for tools, into the detailed text).
#pragma once

#include <string>
#include <utility>

#include "outcome/outcome.h"

namespace archive {

// A failure with its kind, or none. Like outcome::Error it must be looked
// at before it goes.
class [[nodiscard]] ArchiveError {
 public:
  enum class Kind {
    kEnd,            // a read or write would pass the end of the archive
    kFormat,         // the bytes cannot be a case: signature, count or length
    kVersionTooNew,  // written by a newer driver
    kFile,           // the file could not be opened, locked, read or written
  };

  static ArchiveError None() { return ArchiveError(); }
  ArchiveError(Kind kind, std::string text)
      : kind_(kind), error_(outcome::Error::Failed(std::move(text))) {}

  // True when the transfer failed.
  explicit operator bool() const noexcept { return static_cast<bool>(error_); }
  Kind kind() const noexcept { return kind_; }
  // What failed and where; empty for none.
  const std::string& Message() const noexcept { return error_.Message(); }
  // Drops the failure on purpose (see outcome::Error::Consume).
  void Consume() const noexcept { error_.Consume(); }

 private:
  ArchiveError() = default;

  Kind kind_ = Kind::kFormat;
  outcome::Error error_ = outcome::Error::Success();
};

}  // namespace archive
