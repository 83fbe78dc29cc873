#include "saved_values/xml_stream.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <new>

#include "excel/calc/packages/xlsx_package.h"

namespace refhost {
namespace {

constexpr std::size_t kSlice = 64 * 1024;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = static_cast<char>(c | ' ');
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// The parser's reason, in the words the parts read whole give it, so that a
// damaged part reads the same whichever reader met it.
std::string Reason(XML_Error code) {
  if (code == XML_ERROR_TAG_MISMATCH) return "Start-end tags mismatch";
  if (code == XML_ERROR_NO_MEMORY) return "Out of memory";
  return XML_ErrorString(code);
}

}  // namespace

const char* XmlAttributes::Find(std::string_view name) const {
  for (const char** at = pairs_; at[0] != nullptr; at += 2) {
    if (name == at[0]) return at[1];
  }
  return nullptr;
}

const char* XmlAttributes::FindLocal(std::string_view name) const {
  for (const char** at = pairs_; at[0] != nullptr; at += 2) {
    if (excel::calc::LocalName(at[0]) == name) return at[1];
  }
  return nullptr;
}

std::string XmlAttributes::Value(std::string_view name) const {
  const char* value = Find(name);
  return value == nullptr ? std::string() : std::string(value);
}

long long ParseInteger(const char* text, long long fallback) {
  if (text == nullptr) return fallback;
  while (IsBlank(*text))
    ++text;
  const bool negative = *text == '-';
  text += *text == '+' || *text == '-';
  const bool hex = text[0] == '0' && (text[1] | ' ') == 'x';
  const int base = hex ? 16 : 10;
  text += hex ? 2 : 0;
  const unsigned long long limit = negative ? 0ull - static_cast<unsigned long long>(LLONG_MIN)
                                            : static_cast<unsigned long long>(LLONG_MAX);
  unsigned long long value = 0;
  for (int digit = 0;
       (digit = hex ? HexDigit(*text) : (*text >= '0' && *text <= '9' ? *text - '0' : -1)) >= 0;
       ++text) {
    if (value > (limit - static_cast<unsigned>(digit)) / static_cast<unsigned>(base)) {
      value = limit;  // saturated; the remaining digits change nothing
    } else {
      value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
  }
  if (!negative) return static_cast<long long>(value);
  return value == limit ? LLONG_MIN : -static_cast<long long>(value);
}

XmlStream::XmlStream() : parser_(XML_ParserCreate(nullptr)) {
  // Without a parser (no memory for it) every chunk is refused, saying so.
  if (parser_ == nullptr) {
    error_ = "no XML parser could be made (out of memory)";
    return;
  }
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, &XmlStream::OnStart, &XmlStream::OnEnd);
  XML_SetCharacterDataHandler(parser_, &XmlStream::OnText);
}

XmlStream::~XmlStream() {
  if (parser_ != nullptr) XML_ParserFree(parser_);
}

bool XmlStream::Feed(std::string_view chunk, bool last) {
  if (!error_.empty()) return false;
  // In slices: expat takes an int length, and keeps only a slice's tail.
  do {
    const std::string_view slice = chunk.substr(0, kSlice);
    chunk.remove_prefix(slice.size());
    const bool final = last && chunk.empty();
    if (XML_Parse(parser_, slice.data(), static_cast<int>(slice.size()), final) ==
        XML_STATUS_ERROR) {
      const XML_Error code = outOfMemory_ ? XML_ERROR_NO_MEMORY : XML_GetErrorCode(parser_);
      error_ = "not well-formed XML (" + Reason(code) + " at byte " +
               std::to_string(XML_GetCurrentByteIndex(parser_)) + ")";
      return false;
    }
  } while (!chunk.empty());
  return true;
}

// The handlers run inside the C parser, which no exception may cross: one
// that runs out of memory stops the parse, which then says so.
template <typename Call>
void XmlStream::Guarded(void* self, Call&& call) {
  auto& stream = *static_cast<XmlStream*>(self);
  try {
    call(stream);
  } catch (const std::bad_alloc&) {
    stream.outOfMemory_ = true;
    XML_StopParser(stream.parser_, XML_FALSE);
  }
}

void XmlStream::OnStart(void* self, const char* name, const char** attributes) {
  Guarded(self, [&](XmlStream& stream) {
    stream.Start(name, XmlAttributes(attributes), ++stream.depth_);
  });
}

void XmlStream::OnEnd(void* self, const char*) {
  Guarded(self, [](XmlStream& stream) { stream.End(stream.depth_--); });
}

void XmlStream::OnText(void* self, const char* text, int length) {
  Guarded(self, [&](XmlStream& stream) {
    stream.Text(std::string_view(text, static_cast<std::size_t>(length)), stream.depth_);
  });
}

}  // namespace refhost
