// An owning BSTR. Texts cross between the driver (UTF-8) and automation
// (UTF-16) losslessly in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "com/oleauto_types.h"

namespace com {

class Bstr {
 public:
  // Holds no BSTR, which reads as the empty text.
  Bstr() noexcept = default;
  // These allocate (an empty text gives an allocated empty BSTR) and throw
  // com::Error(E_OUTOFMEMORY) when allocation fails.
  static Bstr FromUtf8(std::string_view utf8);
  static Bstr FromUtf16(std::u16string_view utf16);
  // Takes ownership of `text` (which may be null).
  static Bstr Attach(BSTR text) noexcept;

  Bstr(const Bstr& other);
  Bstr& operator=(const Bstr& other);
  Bstr(Bstr&& other) noexcept;
  Bstr& operator=(Bstr&& other) noexcept;
  ~Bstr();

  BSTR Get() const noexcept { return text_; }
  // Hands ownership to the caller and leaves this empty.
  BSTR Detach() noexcept;
  // Frees what is held and takes ownership of `text`.
  void Reset(BSTR text = nullptr) noexcept;

  std::uint32_t Length() const noexcept { return GmSysStringLen(text_); }
  bool Empty() const noexcept { return Length() == 0; }
  std::u16string_view View() const noexcept { return {text_ == nullptr ? u"" : text_, Length()}; }
  std::string ToUtf8() const;

  friend bool operator==(const Bstr& a, const Bstr& b) noexcept { return a.View() == b.View(); }

 private:
  explicit Bstr(BSTR text) noexcept : text_(text) {}
  BSTR text_ = nullptr;
};

// Allocates a BSTR holding `utf16`; throws com::Error(E_OUTOFMEMORY).
BSTR AllocBstr(std::u16string_view utf16);

// The text of a BSTR (null is the empty text) as UTF-8.
std::string BstrToUtf8(BSTR text);

// Copies the text of a BSTR into a host text field of `fieldSize` bytes as
// UTF-8, cut at a character boundary so that the terminator fits. Returns the
// bytes copied (terminator not counted).
std::size_t CopyBstrToField(BSTR text, char* field, std::size_t fieldSize);

}  // namespace com
