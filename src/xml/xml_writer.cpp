#include "xml/xml_writer.h"

#include <chrono>
#include <cstdio>
#include <ostream>
#include <utility>

#include "platform/files.h"
#include "text/number.h"
#include "text/utf8.h"
#include "xml/xml_dates.h"

namespace xml {
namespace {

constexpr char kDeclaration[] = "xml version=\"1.0\" encoding=\"UTF-8\"";
constexpr char kVersionAttribute[] = "version";
// The day number of 1 January 1970.
constexpr double kUnixEpochDay = 25569.0;

// The characters of XML 1.0 documents.
bool IsXmlChar(char32_t c) {
  if (c < 0x20) return c == 0x09 || c == 0x0A || c == 0x0D;
  return c != 0xFFFE && c != 0xFFFF;
}

void Indent(std::string& out, int depth) {
  if (depth > 0)
    out.append(static_cast<std::size_t>(depth < kMaxIndent ? depth : kMaxIndent), '\t');
}

std::string TypedText(double value, ValueType type) {
  return type == kDateValue ? DateToText(value) : text::FormatGeneral(value);
}

}  // namespace

std::string DocumentSafeText(std::string_view text) {
  return text::ReplaceInvalidUtf8(text, &IsXmlChar);
}

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return DocumentSafeText(out);
}

double CurrentDayNumber() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return kUnixEpochDay + std::chrono::duration<double>(since).count() / 86400.0;
}

CXMLElement::CXMLElement(std::string name, std::string value)
    : CXMLElement(kElementNode, std::move(name), std::move(value)) {}

CXMLElement::CXMLElement(NodeKind kind, std::string name, std::string value, ValueType valueType)
    : kind_(kind), valueType_(valueType), name_(std::move(name)), value_(std::move(value)) {}

CXMLElement::~CXMLElement() = default;

CXMLElement& CXMLElement::AddChild(std::unique_ptr<CXMLElement> node) {
  node->parent_ = this;
  auto& list = node->kind_ == kAttributeNode ? attributes_ : children_;
  list.push_back(std::move(node));
  return *list.back();
}

CXMLElement& CXMLElement::AddElement(std::string name, std::string text) {
  return AddNode(kElementNode, std::move(name), std::move(text));
}

CXMLElement& CXMLElement::AddAttribute(std::string name, std::string text) {
  return AddNode(kAttributeNode, std::move(name), std::move(text));
}

CXMLElement& CXMLElement::AddNode(NodeKind kind, std::string name, std::string text) {
  return AddChild(std::make_unique<CXMLElement>(kind, std::move(name), std::move(text)));
}

CXMLElement& CXMLElement::AddInteger(NodeKind kind, std::string name, std::int32_t value) {
  return AddChild(
      std::make_unique<CXMLElement>(kind, std::move(name), std::to_string(value), kIntegerValue));
}

CXMLElement& CXMLElement::AddBoolean(NodeKind kind, std::string name, bool value) {
  return AddChild(std::make_unique<CXMLElement>(kind, std::move(name), value ? "true" : "false",
                                                kBooleanValue));
}

CXMLElement& CXMLElement::AddDouble(NodeKind kind, std::string name, double value, ValueType type) {
  const ValueType used = type == kDateValue ? kDateValue : kDoubleValue;
  return AddChild(
      std::make_unique<CXMLElement>(kind, std::move(name), TypedText(value, used), used));
}

CXMLElement& CXMLElement::AddInstruction(std::string text) {
  return AddChild(std::make_unique<CXMLElement>(kInstructionNode, std::string(), std::move(text)));
}

CXMLElement& CXMLElement::AddComment(std::string text) {
  return AddChild(std::make_unique<CXMLElement>(kCommentNode, std::string(), std::move(text)));
}

void CXMLElement::AddSchemaAttributes(std::string_view version) {
  AddAttribute("xmlns:xsi", kSchemaInstanceNamespace);
  AddAttribute("xmlns:xsd", kSchemaNamespace);
  AddAttribute(kVersionAttribute, std::string(version));
}

void CXMLElement::WriteAttribute(std::string& out) const {
  out += name_;
  out += "=\"";
  out += valueType_ == kTextValue ? EscapeText(value_) : value_;
  out += '"';
}

void CXMLElement::Write(std::string& out, int& depth) const {
  switch (kind_) {
    case kAttributeNode:
      WriteAttribute(out);
      return;
    case kInstructionNode: {
      // "?>" would end the instruction early.
      std::string safe = DocumentSafeText(value_);
      for (std::size_t at = safe.find("?>"); at != std::string::npos; at = safe.find("?>", at))
        safe.insert(at + 1, " ");
      Indent(out, depth);
      out.append("<?").append(safe).append("?>").append(kLineBreak);
      return;
    }
    case kCommentNode: {
      // A comment may not hold "--" nor end with "-".
      std::string safe = DocumentSafeText(value_);
      for (std::size_t at = safe.find("--"); at != std::string::npos; at = safe.find("--", at))
        safe.insert(at + 1, " ");
      if (!safe.empty() && safe.back() == '-') safe += ' ';
      Indent(out, depth);
      out.append("<!-- ").append(safe).append(" -->").append(kLineBreak);
      return;
    }
    case kDocumentNode:
    case kElementNode:
      break;
  }
  Indent(out, depth);
  out += '<';
  out += name_;
  const bool hasChildren = !children_.empty();
  if (hasChildren) ++depth;
  const bool indentAttributes = attributes_.size() > 5;
  for (std::size_t i = 0; i < attributes_.size(); ++i) {
    out += i % 4 == 3 ? kLineBreak : " ";
    if (indentAttributes) Indent(out, depth);
    attributes_[i]->Write(out, depth);
  }
  if (!hasChildren && value_.empty()) {
    out += " />";
    out += kLineBreak;
    return;
  }
  out += '>';
  if (hasChildren) {
    out += kLineBreak;
    for (const auto& child : children_)
      child->Write(out, depth);
    --depth;
    Indent(out, depth);
  }
  out += valueType_ == kTextValue ? EscapeText(value_) : value_;
  out += "</";
  out += name_;
  out += '>';
  out += kLineBreak;
}

CXMLDocument::CXMLDocument()
    : CXMLElement(kDocumentNode, std::string(), std::string()), created_(CurrentDayNumber()) {
  AddInstruction(kDeclaration);
}

void CXMLDocument::Write(std::string& out, int& depth) const {
  for (const auto& child : children())
    child->Write(out, depth);
}

std::string CXMLDocument::Text() const {
  std::string out;
  int depth = 0;
  Write(out, depth);
  return out;
}

bool CXMLDocument::WriteTo(std::ostream& out) const {
  const std::string text = Text();
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return out.good();
}

SaveResult CXMLDocument::Save(const std::string& path) const {
  platform::AtomicWriteOptions options;
  options.createFolders = false;
  options.refuseUnwritableTarget = true;
  options.newFileByUmask = true;
  platform::WriteFailure failure = platform::WriteFailure::kNone;
  if (!platform::WriteFileAtomically(path, Text(), options, &failure)) return SaveResult::kSaved;
  return failure == platform::WriteFailure::kWrite ? SaveResult::kWriteFailed
                                                   : SaveResult::kOpenFailed;
}

}  // namespace xml
