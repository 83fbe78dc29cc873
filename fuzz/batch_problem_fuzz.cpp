// The batch problem reader over a document loaded from memory, as
// ReadBatchProblem runs it, into fresh lists; then the report and the output
// of WriteBatchOutput. No input may crash, leak or upset the sanitizers, and
// every document the driver writes must parse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "optimisation/batch_problem.h"
#include "xml/xml_reader.h"

namespace {

void CheckParses(const xml::CXMLDocument& document, const char* rootName) {
  xml::CSerializeXML reader;
  if (!reader.LoadBuffer(document.Text())) std::abort();
  if (std::string_view(reader.Root().name()) != rootName) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  xml::CSerializeXML input;
  if (!input.LoadBuffer(std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  casedata::CExcObjFn objective;
  casedata::CExcclConstraint constraints;
  casedata::CExcclControlVariable controls;
  casedata::CExcclExportedVariable variables;
  const optimisation::BatchItems items{objective, constraints, controls, variables};
  std::vector<optimisation::UnboundElement> unbound;
  if (!optimisation::CheckBatchDocument(input)) {
    // Replace or not: the last byte decides, so both paths are searched.
    const bool replace = size > 0 && (data[size - 1] & 1) != 0;
    const outcome::Error error = optimisation::ApplyBatchElements(items, input, replace, unbound);
    // A failure always says why.
    if (error && error.Message().empty()) std::abort();
  }
  xml::CXMLDocument report;
  optimisation::BuildBatchReport(unbound, report);
  CheckParses(report, "BatchOutput");
  xml::CXMLDocument output;
  optimisation::BuildBatchOutput(items, output);
  CheckParses(output, "BatchOutput");
  return 0;
}
