// The XML reader: loads a document (from a file, or from bytes in memory)
// and finds child elements and reads texts, numbers and attributes. Nothing
// here throws: a missing node, attribute or file gives "none" or false.
//
// Numbers are read as atof and atoi read them in the C locale, whatever
// locale the host has set; a number too large for its type saturates.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace xml {

using XmlNode = pugi::xml_node;

// A version text "%d.%d.%d.%d" as four signed 16-bit parts (major, minor,
// build, revision); a part that is missing is -1, one out of range is
// clamped.
struct XmlVersion {
  std::array<std::int16_t, 4> parts{-1, -1, -1, -1};
  friend bool operator==(const XmlVersion&, const XmlVersion&) = default;
};

XmlVersion ParseVersion(std::string_view text);
// Negative, zero or positive as `a` is older than, equal to or newer than
// `b`, comparing part by part as signed numbers.
int CompareVersions(const XmlVersion& a, const XmlVersion& b);

class CSerializeXML {
 public:
  CSerializeXML();
  CSerializeXML(const CSerializeXML&) = delete;
  CSerializeXML& operator=(const CSerializeXML&) = delete;
  virtual ~CSerializeXML();

  // True when the file was read and parsed and has a root element; any
  // earlier document is dropped either way.
  virtual bool LoadFile(const std::string& path);
  // The same for a document held in memory.
  bool LoadBuffer(std::string_view bytes);

  // The root element, or a null node.
  XmlNode Root() const;

  // The first child element of `parent` after `previous` (after none: the
  // first of all) whose name equals `name`, exactly or ignoring ASCII case.
  static XmlNode FindChild(XmlNode parent, std::string_view name, XmlNode previous = XmlNode(),
                           bool ignoreCase = false);
  static std::optional<std::string> AttributeText(XmlNode element, std::string_view name);
  // Every text and CDATA section below the element, in document order, the
  // white space at either end trimmed unless it lies inside CDATA.
  static std::string ElementText(XmlNode element);
  static std::int32_t ElementInteger(XmlNode element);
  static double ElementDouble(XmlNode element);
  // True when the text is "true", ignoring case.
  static bool ElementBoolean(XmlNode element);
  // The attribute's version; all parts -1 when the attribute is missing.
  static XmlVersion VersionAttribute(XmlNode element, std::string_view name);
  // "ELEMENT", "TEXT", ... for the DOM node type of `node`; "INVALID" for
  // a null node.
  static const char* NodeTypeName(XmlNode node);

 private:
  std::unique_ptr<pugi::xml_document> document_;
};

}  // namespace xml
