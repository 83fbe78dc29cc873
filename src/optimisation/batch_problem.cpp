#include "optimisation/batch_problem.h"

#include <algorithm>
#include <memory>
#include <set>
#include <string_view>
#include <utility>

#include "text/ascii.h"

namespace optimisation {
namespace {

using outcome::Error;
using xml::CSerializeXML;
using xml::CXMLElement;
using xml::XmlNode;

constexpr char kRootName[] = "BatchOutput";
constexpr char kElement[] = "Element";
constexpr char kVersionAttribute[] = "version";
constexpr char kNoEquipment[] = "NoName";
// The children every input element must have, in the order they are sought.
constexpr const char* kRequiredParts[] = {"Equip", "Variable", "VarName", "Unit"};
constexpr char kPieceSeparator = '|';

// Cuts "Sheet1|B5" into worksheet and cell: the text split at "|", each "|"
// a piece of its own, blank pieces dropped, must give a worksheet, "|" and a
// cell. A "|" in either outer place names neither.
bool CutVariable(std::string_view text, std::string& worksheet, std::string& cell) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != kPieceSeparator) continue;
    const std::string_view piece = text.substr(start, i - start);
    if (!text::IsBlank(piece)) pieces.push_back(piece);
    if (i < text.size()) pieces.push_back(text.substr(i, 1));
    start = i + 1;
  }
  const auto isSeparator = [](std::string_view piece) {
    return piece.size() == 1 && piece[0] == kPieceSeparator;
  };
  if (pieces.size() != 3 || isSeparator(pieces[0]) || !isSeparator(pieces[1]) ||
      isSeparator(pieces[2])) {
    return false;
  }
  worksheet = pieces[0];
  cell = pieces[2];
  return true;
}

std::unique_ptr<casedata::CExcControlVariable> ReadControl(XmlNode node) {
  auto control = std::make_unique<casedata::CExcControlVariable>();
  if (XmlNode upper = CSerializeXML::FindChild(node, "UpperBound"))
    control->UpperBound = CSerializeXML::ElementDouble(upper);
  if (XmlNode lower = CSerializeXML::FindChild(node, "LowerBound"))
    control->LowerBound = CSerializeXML::ElementDouble(lower);
  return control;
}

std::unique_ptr<casedata::CExcConstraint> ReadConstraint(XmlNode node) {
  auto constraint = std::make_unique<casedata::CExcConstraint>();
  if (XmlNode limit = CSerializeXML::FindChild(node, "Limit"))
    constraint->Limit = CSerializeXML::ElementDouble(limit);
  if (XmlNode equality = CSerializeXML::FindChild(node, "Equality")) {
    const std::string kind = CSerializeXML::ElementText(equality);
    constraint->ConstraintType = text::EqualsNoCase(kind, "less")      ? casedata::kLessThan
                                 : text::EqualsNoCase(kind, "greater") ? casedata::kGreaterThan
                                                                       : casedata::kEqualTo;
  }
  return constraint;
}

std::unique_ptr<casedata::CExcObjFn> ReadObjective(XmlNode node) {
  auto objective = std::make_unique<casedata::CExcObjFn>();
  if (XmlNode max = CSerializeXML::FindChild(node, "Max")) {
    objective->Defined = true;
    objective->Maximise = CSerializeXML::ElementInteger(max) > 0;
  }
  return objective;
}

// Of control, constraint and objective, the last the element holds.
std::unique_ptr<casedata::CExcOptObject> ReadItem(XmlNode element) {
  std::unique_ptr<casedata::CExcOptObject> item;
  if (XmlNode node = CSerializeXML::FindChild(element, "Control")) item = ReadControl(node);
  if (XmlNode node = CSerializeXML::FindChild(element, "Constraint")) item = ReadConstraint(node);
  if (XmlNode node = CSerializeXML::FindChild(element, "ObjFn")) item = ReadObjective(node);
  return item;
}

void TakeItem(const BatchItems& items, std::unique_ptr<casedata::CExcOptObject> item) {
  switch (item->GetType()) {
    case casedata::kObjectiveType:
      items.objective = static_cast<const casedata::CExcObjFn&>(*item);
      break;
    case casedata::kConstraintType:
      items.constraints.Add(std::unique_ptr<casedata::CExcConstraint>(
          static_cast<casedata::CExcConstraint*>(item.release())));
      break;
    case casedata::kControlType:
      items.controls.Add(std::unique_ptr<casedata::CExcControlVariable>(
          static_cast<casedata::CExcControlVariable*>(item.release())));
      break;
    default:
      break;
  }
}

bool ContainsEqual(const casedata::CExcclExportedVariable& list,
                   const casedata::CExcExportedVariable& variable) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (*list.At(i) == variable) return true;
  }
  return false;
}

CXMLElement& AddRoot(xml::CXMLDocument& document) {
  CXMLElement& root = document.AddElement(kRootName);
  root.AddSchemaAttributes(kBatchVersionText);
  return root;
}

// An output element's Variable, VarName and Unit.
void AddCellParts(CXMLElement& element, const std::string& worksheet, const std::string& cell,
                  const std::string& name, const std::string& unit) {
  element.AddElement("Variable", worksheet + kPieceSeparator + cell);
  element.AddElement("VarName", name);
  element.AddElement("Unit", unit);
}

template <typename Item>
void AddItemElement(CXMLElement& root, const Item& item) {
  CXMLElement& element = root.AddElement(kElement);
  AddCellParts(element, item.worksheet, item.cell, item.name, item.unit);
  WriteXml(item, element);
}

// A path as a C format's %s prints it: up to its first NUL.
Error CouldNotOpen(const std::string& path) {
  return Error::Failed("Could not open '" + std::string(path.c_str()) + "'");
}

// Replaces the file with the document, or says why not.
Error SaveBatchFile(const xml::CXMLDocument& document, const std::string& path) {
  switch (document.Save(path)) {
    case xml::SaveResult::kSaved:
      return Error::Success();
    case xml::SaveResult::kOpenFailed:
      return CouldNotOpen(path);
    case xml::SaveResult::kWriteFailed:
      break;
  }
  return Error::Failed("I/O failure '" + std::string(path.c_str()) + "'");
}

}  // namespace

const xml::XmlVersion& BatchVersion() {
  static const xml::XmlVersion version = xml::ParseVersion(kBatchVersionText);
  return version;
}

Error CheckBatchDocument(const CSerializeXML& document) {
  const XmlNode root = document.Root();
  if (!root) return Error::Failed(kBatchMissingMessage);
  const xml::XmlVersion version = CSerializeXML::VersionAttribute(root, kVersionAttribute);
  if (xml::CompareVersions(version, BatchVersion()) > 0) return Error::Failed(kVersionMessage);
  if (!CSerializeXML::FindChild(root, kElement)) return Error::Failed(kElementMissingMessage);
  return Error::Success();
}

Error ApplyBatchElements(const BatchItems& items, const CSerializeXML& document, bool replace,
                         std::vector<UnboundElement>& unbound) {
  const XmlNode root = document.Root();
  if (replace) items.publishedVariables.Clear();
  std::int32_t index = 0;
  for (XmlNode element = CSerializeXML::FindChild(root, kElement); element;
       element = CSerializeXML::FindChild(root, kElement, element), ++index) {
    std::string texts[std::size(kRequiredParts)];
    for (std::size_t k = 0; k < std::size(kRequiredParts); ++k) {
      const XmlNode part = CSerializeXML::FindChild(element, kRequiredParts[k]);
      if (!part) return Error::Failed(std::string("Element <") + kRequiredParts[k] + "> missing");
      texts[k] = CSerializeXML::ElementText(part);
    }
    std::unique_ptr<casedata::CExcOptObject> item = ReadItem(element);
    auto variable = std::make_unique<casedata::CExcExportedVariable>();
    variable->name = std::move(texts[2]);
    variable->unit = std::move(texts[3]);
    if (!CutVariable(texts[1], variable->worksheet, variable->cell)) {
      unbound.push_back({index, variable->name});
      continue;
    }
    if (item) {
      item->AssignFromPublishedVariable(*variable);
      TakeItem(items, std::move(item));
    }
    if (!ContainsEqual(items.publishedVariables, *variable))
      items.publishedVariables.Add(std::move(variable));
  }
  return Error::Success();
}

Error ReadBatchProblem(const BatchItems& items, const casedata::BatchFiles& files, bool replace) {
  CSerializeXML document;
  if (!files.input.complete || !document.LoadFile(files.input.path))
    return Error::Failed(kInvalidXmlMessage);
  if (Error error = CheckBatchDocument(document)) return error;
  // A report path cut at its field's end would name another file; refused
  // before the lists change.
  if (!files.report.complete) return CouldNotOpen(files.report.path);
  std::vector<UnboundElement> unbound;
  if (Error error = ApplyBatchElements(items, document, replace, unbound)) return error;
  xml::CXMLDocument report;
  BuildBatchReport(unbound, report);
  return SaveBatchFile(report, files.report.path);
}

void BuildBatchReport(const std::vector<UnboundElement>& unbound, xml::CXMLDocument& document) {
  CXMLElement& root = AddRoot(document);
  for (const UnboundElement& entry : unbound) {
    CXMLElement& element = root.AddElement(kElement);
    element.AddElement("Variable", entry.name);
    element.AddInteger(xml::kElementNode, "Index", entry.index);
  }
}

void BuildBatchOutput(const BatchItems& items, xml::CXMLDocument& document) {
  CXMLElement& root = AddRoot(document);
  std::set<const void*> written;
  const casedata::CExcObjFn& objective = items.objective;
  for (std::size_t i = 0; i < items.publishedVariables.size(); ++i) {
    const casedata::CExcExportedVariable& variable = *items.publishedVariables.At(i);
    CXMLElement& element = root.AddElement(kElement);
    element.AddElement("Equip", kNoEquipment);
    AddCellParts(element, variable.worksheet, variable.cell, variable.name, variable.unit);
    // The first item on the variable's cell, whether written already or not.
    if (const auto* control =
            casedata::FindByCell(items.controls, variable.worksheet, variable.cell)) {
      WriteXml(*control, element);
      written.insert(control);
    } else if (const auto* constraint =
                   casedata::FindByCell(items.constraints, variable.worksheet, variable.cell)) {
      WriteXml(*constraint, element);
      written.insert(constraint);
    } else if (objective.Defined && objective.worksheet == variable.worksheet &&
               objective.cell == variable.cell) {
      WriteXml(objective, element);
      written.insert(&objective);
    }
  }
  for (std::size_t i = 0; i < items.controls.size(); ++i) {
    if (!written.count(items.controls.At(i))) AddItemElement(root, *items.controls.At(i));
  }
  for (std::size_t i = 0; i < items.constraints.size(); ++i) {
    if (!written.count(items.constraints.At(i))) AddItemElement(root, *items.constraints.At(i));
  }
  if (objective.Defined && !written.count(&objective)) AddItemElement(root, objective);
}

Error WriteBatchOutput(const BatchItems& items, const casedata::BatchPath& output) {
  if (!output.complete) return CouldNotOpen(output.path);
  xml::CXMLDocument document;
  BuildBatchOutput(items, document);
  return SaveBatchFile(document, output.path);
}

void WriteXml(const casedata::CExcControlVariable& control, CXMLElement& parent) {
  CXMLElement& element = parent.AddElement("Control");
  if (control.LowerBound < casedata::kThreshold)
    element.AddDouble(xml::kElementNode, "LowerBound", control.LowerBound);
  if (control.UpperBound < casedata::kThreshold)
    element.AddDouble(xml::kElementNode, "UpperBound", control.UpperBound);
}

void WriteXml(const casedata::CExcConstraint& constraint, CXMLElement& parent) {
  CXMLElement& element = parent.AddElement("Constraint");
  element.AddDouble(xml::kElementNode, "Limit", constraint.Limit);
  static constexpr const char* kEquality[] = {"less", "equals", "greater"};
  if (constraint.ConstraintType < std::size(kEquality))
    element.AddElement("Equality", kEquality[constraint.ConstraintType]);
}

void WriteXml(const casedata::CExcObjFn& objective, CXMLElement& parent) {
  CXMLElement& element = parent.AddElement("ObjFn");
  element.AddInteger(xml::kElementNode, "Max", objective.Maximise ? 1 : 0);
}

}  // namespace optimisation
