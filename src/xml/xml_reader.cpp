#include "xml/xml_reader.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/files.h"
#include "text/ascii.h"
#include "text/number.h"

namespace xml {
namespace {

struct TextPiece {
  std::string_view text;
  bool cdata = false;
};

std::int16_t ClampToPart(std::int32_t value) {
  return static_cast<std::int16_t>(std::clamp<std::int32_t>(
      value, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

// The text and CDATA nodes below `element` in document order, walked without
// recursion so that a deeply nested document cannot exhaust the stack.
std::vector<TextPiece> TextPieces(XmlNode element) {
  std::vector<TextPiece> pieces;
  XmlNode node = element.first_child();
  while (node && node != element) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
      pieces.push_back({node.value(), node.type() == pugi::node_cdata});
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node != element && !node.next_sibling())
      node = node.parent();
    if (node != element) node = node.next_sibling();
  }
  return pieces;
}

}  // namespace

XmlVersion ParseVersion(std::string_view text) {
  XmlVersion version;
  std::size_t at = 0;
  for (std::size_t part = 0; part < version.parts.size(); ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') break;
      ++at;
    }
    std::int32_t value = 0;
    const std::size_t used = text::ScanInt32(text.substr(at), value);
    if (used == 0) break;
    version.parts[part] = ClampToPart(value);
    at += used;
  }
  return version;
}

int CompareVersions(const XmlVersion& a, const XmlVersion& b) {
  for (std::size_t part = 0; part < a.parts.size(); ++part) {
    if (a.parts[part] != b.parts[part]) return a.parts[part] < b.parts[part] ? -1 : 1;
  }
  return 0;
}

CSerializeXML::CSerializeXML() = default;
CSerializeXML::~CSerializeXML() = default;

bool CSerializeXML::LoadFile(const std::string& path) {
  document_.reset();
  std::error_code error;
  const std::optional<std::string> bytes = platform::ReadWholeFile(path, &error);
  return bytes.has_value() && LoadBuffer(*bytes);
}

bool CSerializeXML::LoadBuffer(std::string_view bytes) {
  auto document = std::make_unique<pugi::xml_document>();
  const pugi::xml_parse_result parsed = document->load_buffer(bytes.data(), bytes.size());
  document_.reset();
  if (!parsed || !document->document_element()) return false;
  document_ = std::move(document);
  return true;
}

XmlNode CSerializeXML::Root() const {
  return document_ ? document_->document_element() : XmlNode();
}

XmlNode CSerializeXML::FindChild(XmlNode parent, std::string_view name, XmlNode previous,
                                 bool ignoreCase) {
  for (XmlNode node = previous ? previous.next_sibling() : parent.first_child(); node;
       node = node.next_sibling()) {
    if (node.type() != pugi::node_element) continue;
    const std::string_view nodeName = node.name();
    if (ignoreCase ? text::EqualsNoCase(nodeName, name) : nodeName == name) return node;
  }
  return XmlNode();
}

std::optional<std::string> CSerializeXML::AttributeText(XmlNode element, std::string_view name) {
  for (pugi::xml_attribute attribute : element.attributes()) {
    if (std::string_view(attribute.name()) == name) return std::string(attribute.value());
  }
  return std::nullopt;
}

std::string CSerializeXML::ElementText(XmlNode element) {
  std::vector<TextPiece> pieces = TextPieces(element);
  for (TextPiece& piece : pieces) {
    if (piece.cdata) break;
    piece.text = text::TrimLeft(piece.text);
    if (!piece.text.empty()) break;
  }
  for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
    if (piece->cdata) break;
    piece->text = text::TrimRight(piece->text);
    if (!piece->text.empty()) break;
  }
  std::string joined;
  for (const TextPiece& piece : pieces)
    joined += piece.text;
  return joined;
}

std::int32_t CSerializeXML::ElementInteger(XmlNode element) {
  return text::ParseInt32(ElementText(element));
}

double CSerializeXML::ElementDouble(XmlNode element) {
  return text::ParseDouble(ElementText(element));
}

bool CSerializeXML::ElementBoolean(XmlNode element) {
  return text::EqualsNoCase(ElementText(element), "true");
}

XmlVersion CSerializeXML::VersionAttribute(XmlNode element, std::string_view name) {
  const std::optional<std::string> text = AttributeText(element, name);
  return text ? ParseVersion(*text) : XmlVersion();
}

const char* CSerializeXML::NodeTypeName(XmlNode node) {
  switch (node.type()) {
    case pugi::node_element:
      return "ELEMENT";
    case pugi::node_pcdata:
      return "TEXT";
    case pugi::node_cdata:
      return "CDATA_SECTION";
    case pugi::node_pi:
    case pugi::node_declaration:
      return "PROCESSING_INSTRUCTION";
    case pugi::node_comment:
      return "COMMENT";
    case pugi::node_document:
      return "DOCUMENT";
    case pugi::node_doctype:
      return "DOCUMENT_TYPE";
    case pugi::node_null:
      break;
  }
  return "INVALID";
}

}  // namespace xml
