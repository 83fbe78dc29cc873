// The batch problem files: the host hands the driver an optimisation problem
// and the variables to publish as XML (ReadBatchProblem), and the driver
// writes its own variables and items back in the same vocabulary
// (WriteBatchOutput). Elements that cannot be bound to a cell are listed in
// a report file.
//
// Failures carry the host's message and result 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "casedata/exported_variable.h"
#include "casedata/opt_items.h"
#include "casedata/values/published_values.h"
#include "outcome/outcome.h"
#include "xml/xml_reader.h"
#include "xml/xml_writer.h"

namespace optimisation {

// The format version this driver reads and writes.
inline constexpr char kBatchVersionText[] = "1.0.0";
// kBatchVersionText read as a version: 1, 0, 0, -1.
const xml::XmlVersion& BatchVersion();

inline constexpr char kInvalidXmlMessage[] = "Invalid XML content or file not found";
inline constexpr char kBatchMissingMessage[] = "Batch element missing";
inline constexpr char kVersionMessage[] = "XML version not supported";
inline constexpr char kElementMissingMessage[] = "<Element> element missing";

// The model's lists the batch files read and write, borrowed for one call.
struct BatchItems {
  casedata::CExcObjFn& objective;
  casedata::CExcclConstraint& constraints;
  casedata::CExcclControlVariable& controls;
  casedata::CExcclExportedVariable& publishedVariables;
};

// An input element that named no cell: its position among all "Element"
// children of the root, and its VarName text.
struct UnboundElement {
  std::int32_t index = 0;
  std::string name;
};

// Reads the problem file at the input path into the model's lists
// (replacing the published variables when `replace` is set) and writes the
// report of unbound elements to the report path. A failure midway leaves the
// elements read so far in the lists.
outcome::Error ReadBatchProblem(const BatchItems& items, const casedata::BatchFiles& files,
                                bool replace);

// The steps of ReadBatchProblem on a loaded document. CheckBatchDocument
// refuses a document without root, of a newer version, or without elements;
// it changes nothing. ApplyBatchElements then reads every element.
outcome::Error CheckBatchDocument(const xml::CSerializeXML& document);
outcome::Error ApplyBatchElements(const BatchItems& items, const xml::CSerializeXML& document,
                                  bool replace, std::vector<UnboundElement>& unbound);

// The "BatchOutput" root with the unbound elements.
void BuildBatchReport(const std::vector<UnboundElement>& unbound, xml::CXMLDocument& document);

// The "BatchOutput" root with every published variable, each with the item
// on its cell, then the items not written yet.
void BuildBatchOutput(const BatchItems& items, xml::CXMLDocument& document);

// Writes BuildBatchOutput's document to the path, replacing any earlier
// file; a path that is not complete is refused.
outcome::Error WriteBatchOutput(const BatchItems& items, const casedata::BatchPath& output);

// The items' batch elements, added to `parent`.
void WriteXml(const casedata::CExcControlVariable& control, xml::CXMLElement& parent);
void WriteXml(const casedata::CExcConstraint& constraint, xml::CXMLElement& parent);
void WriteXml(const casedata::CExcObjFn& objective, xml::CXMLElement& parent);

}  // namespace optimisation
