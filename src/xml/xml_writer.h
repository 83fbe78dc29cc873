// The XML writer: a tree of elements, attributes, processing instructions and
// comments that prints itself as indented UTF-8 text. The text form is a
// contract with the files hosts already read: the root unindented, one tab
// per level below, attributes on one line but every fourth, "<Name />" for an
// element with neither children nor text, "\n" as the line break.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xml {

enum NodeKind : std::uint32_t {
  kElementNode = 0,
  kAttributeNode = 1,
  kInstructionNode = 2,
  kCommentNode = 3,
  kDocumentNode = 4
};

// How a node's value was given; every type but text is written unescaped.
enum ValueType : std::uint32_t {
  kTextValue = 0,
  kIntegerValue = 1,  // "%d"
  kBooleanValue = 2,  // "true" or "false"
  kDoubleValue = 3,   // "%g"
  kDateValue = 4      // DateToText of the day number
};

inline constexpr char kLineBreak[] = "\n";
// Indentation stops growing at this depth.
inline constexpr int kMaxIndent = 128;

// The namespaces and version every root of the driver's documents carries.
inline constexpr char kSchemaInstanceNamespace[] = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr char kSchemaNamespace[] = "http://www.w3.org/2001/XMLSchema";

class CXMLElement {
 public:
  // An element named `name` with the text `value`, not yet in a tree.
  explicit CXMLElement(std::string name, std::string value = {});
  CXMLElement(NodeKind kind, std::string name, std::string value, ValueType valueType = kTextValue);
  CXMLElement(const CXMLElement&) = delete;
  CXMLElement& operator=(const CXMLElement&) = delete;
  virtual ~CXMLElement();

  // Prints the node at `depth` (tabs of indentation) into `out`.
  virtual void Write(std::string& out, int& depth) const;
  // Takes `node`: an attribute goes to the attributes, anything else to the
  // children, both in the order added. Returns the node.
  virtual CXMLElement& AddChild(std::unique_ptr<CXMLElement> node);

  // Builders of a child element (kind kElementNode) or an attribute
  // (kAttributeNode) of this node.
  CXMLElement& AddElement(std::string name, std::string text = {});
  CXMLElement& AddAttribute(std::string name, std::string text);
  CXMLElement& AddNode(NodeKind kind, std::string name, std::string text);
  CXMLElement& AddInteger(NodeKind kind, std::string name, std::int32_t value);
  CXMLElement& AddBoolean(NodeKind kind, std::string name, bool value);
  // `type` kDoubleValue ("%g") or kDateValue (a day number).
  CXMLElement& AddDouble(NodeKind kind, std::string name, double value,
                         ValueType type = kDoubleValue);
  CXMLElement& AddInstruction(std::string text);
  CXMLElement& AddComment(std::string text);
  // xmlns:xsi, xmlns:xsd and version, in this order.
  void AddSchemaAttributes(std::string_view version);

  NodeKind kind() const { return kind_; }
  ValueType valueType() const { return valueType_; }
  const CXMLElement* parent() const { return parent_; }
  const std::string& name() const { return name_; }
  const std::string& value() const { return value_; }
  const std::vector<std::unique_ptr<CXMLElement>>& children() const { return children_; }
  const std::vector<std::unique_ptr<CXMLElement>>& attributes() const { return attributes_; }

 private:
  void WriteAttribute(std::string& out) const;

  NodeKind kind_;
  ValueType valueType_;
  CXMLElement* parent_ = nullptr;
  std::string name_;
  std::string value_;
  std::vector<std::unique_ptr<CXMLElement>> children_;
  std::vector<std::unique_ptr<CXMLElement>> attributes_;
};

// Why a document could not be saved: the file could not be opened for
// writing, or writing it failed. Either way an earlier file is left whole.
enum class SaveResult { kSaved, kOpenFailed, kWriteFailed };

class CXMLDocument : public CXMLElement {
 public:
  // Holds the XML declaration as its first child.
  CXMLDocument();

  void Write(std::string& out, int& depth) const override;
  // The whole document as text.
  std::string Text() const;
  // True when `out` is still good after the document.
  bool WriteTo(std::ostream& out) const;
  // Replaces the file at `path` with the document (atomically; a symbolic
  // link is followed and kept).
  SaveResult Save(const std::string& path) const;

  // The day number of the moment the document was built.
  double created() const { return created_; }

 private:
  double created_;
};

// The day number of the current moment.
double CurrentDayNumber();

// Text as the document carries it: the five special characters escaped, and
// everything an XML document cannot hold (bytes that are not UTF-8, control
// characters but tab, line feed and carriage return) as U+FFFD.
std::string EscapeText(std::string_view text);
// The same without escaping, for instructions and comments.
std::string DocumentSafeText(std::string_view text);

}  // namespace xml
