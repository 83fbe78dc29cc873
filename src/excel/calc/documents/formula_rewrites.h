// Formulas of an .xlsx / .xlsm workbook that the office cannot read as the
// file writes them (structured references it does not take:
// structured_references.h), rewritten when the workbook is opened into
// equivalents it computes. Before every store they hold the file's text
// again, so that a saved file keeps the user's formulas; after it, the
// rewrites are redone.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "excel/calc/calls/calc_objects.h"
#include "excel/recalculation.h"

namespace excel::calc {

// Rewrites what needs it in `document`, just opened from `path`, when the
// office imported it from .xlsx / .xlsm, and records each rewrite on the
// document. Never throws: a formula that cannot be rewritten stays as the
// office read it.
void RewriteUnreadFormulas(Document& document, const std::string& path);

// While it lives (inside a call to the office, around a store), the
// rewritten cells hold the formulas as the file wrote them; then the
// rewrites are redone. A cell that holds something else since its rewrite
// is left alone, and its rewrite forgotten.
class FileFormulasForStore {
 public:
  explicit FileFormulasForStore(Document& document);
  ~FileFormulasForStore();
  FileFormulasForStore(const FileFormulasForStore&) = delete;
  FileFormulasForStore& operator=(const FileFormulasForStore&) = delete;

 private:
  void Redo() noexcept;  // with the document's mutex held

  Document& document_;
  // Into document_.rewrittenFormulas.
  std::vector<std::size_t> putBack_;
  std::vector<std::size_t> replaced_;
};

// The document's rewrites, by sheet, row and column.
std::vector<FormulaRewrite> FormulaRewritesOf(Document& document);

}  // namespace excel::calc
