// XML read as a stream of events, a chunk at a time, so that a part of any
// size costs no more memory than what its reader keeps of it. Names come as
// written, prefix included (no namespace processing): the .xlsx readers
// match local names, the OpenDocument reader the prefixes its files use.
#pragma once

#include <string>
#include <string_view>

struct XML_ParserStruct;

namespace refhost {

// An element's attributes as the parser passes them.
class XmlAttributes {
 public:
  explicit XmlAttributes(const char** pairs) : pairs_(pairs) {}
  // The value of the attribute with this name; null when it has none.
  const char* Find(std::string_view name) const;
  // The same by local name (r:id written with whatever prefix).
  const char* FindLocal(std::string_view name) const;
  // The value, "" when absent.
  std::string Value(std::string_view name) const;

 private:
  const char** pairs_;
};

// An integer attribute as the DOM reader read it: leading blanks, a sign,
// decimal or 0x hex digits up to the first other character, saturated at
// the type's range; `fallback` when absent, 0 when there are no digits.
long long ParseInteger(const char* text, long long fallback);

class XmlStream {
 public:
  XmlStream();
  virtual ~XmlStream();
  XmlStream(const XmlStream&) = delete;
  XmlStream& operator=(const XmlStream&) = delete;

  // Parses the next chunk; `last` ends the document. False from the first
  // chunk in which the XML is found not well-formed on.
  bool Feed(std::string_view chunk, bool last);
  // Empty while it is well-formed; else "not well-formed XML (why at byte N)",
  // or why there was no parser.
  const std::string& Error() const { return error_; }

 protected:
  // The depth of the element started, ended, or holding the text: 1 for
  // the document's root.
  virtual void Start(std::string_view name, const XmlAttributes& attributes, int depth) = 0;
  virtual void End(int depth) = 0;
  virtual void Text(std::string_view text, int depth) = 0;

 private:
  template <typename Call>
  static void Guarded(void* self, Call&& call);
  static void OnStart(void* self, const char* name, const char** attributes);
  static void OnEnd(void* self, const char* name);
  static void OnText(void* self, const char* text, int length);

  XML_ParserStruct* parser_;
  std::string error_;
  int depth_ = 0;
  bool outOfMemory_ = false;
};

}  // namespace refhost
