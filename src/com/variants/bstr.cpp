#include "com/variants/bstr.h"

#include <utility>

#include "com/error.h"
#include "text/utf8.h"

namespace com {

BSTR AllocBstr(std::u16string_view utf16) {
  if (utf16.size() > UINT32_MAX) Throw(E_OUTOFMEMORY);
  BSTR text = GmSysAllocStringLen(utf16.data(), static_cast<std::uint32_t>(utf16.size()));
  if (text == nullptr) Throw(E_OUTOFMEMORY);
  return text;
}

std::string BstrToUtf8(BSTR text) {
  return text::Utf16ToUtf8(std::u16string_view(text == nullptr ? u"" : text, GmSysStringLen(text)));
}

std::size_t CopyBstrToField(BSTR text, char* field, std::size_t fieldSize) {
  return text::CopyTerminated(BstrToUtf8(text), field, fieldSize);
}

Bstr Bstr::FromUtf8(std::string_view utf8) {
  return Bstr(AllocBstr(text::Utf8ToUtf16(utf8)));
}

Bstr Bstr::FromUtf16(std::u16string_view utf16) {
  return Bstr(AllocBstr(utf16));
}

Bstr Bstr::Attach(BSTR text) noexcept {
  return Bstr(text);
}

Bstr::Bstr(const Bstr& other) : text_(other.text_ == nullptr ? nullptr : AllocBstr(other.View())) {}

Bstr& Bstr::operator=(const Bstr& other) {
  if (this != &other) Reset(other.text_ == nullptr ? nullptr : AllocBstr(other.View()));
  return *this;
}

Bstr::Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
  if (this != &other) Reset(std::exchange(other.text_, nullptr));
  return *this;
}

Bstr::~Bstr() {
  GmSysFreeString(text_);
}

BSTR Bstr::Detach() noexcept {
  return std::exchange(text_, nullptr);
}

void Bstr::Reset(BSTR text) noexcept {
  if (text == text_) return;
  GmSysFreeString(std::exchange(text_, text));
}

std::string Bstr::ToUtf8() const {
  return BstrToUtf8(text_);
}

}  // namespace com
