#include "excel/calc/documents/formula_rewrites.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/FormulaLanguage.hpp>
#include <com/sun/star/sheet/FormulaMapGroup.hpp>
#include <com/sun/star/sheet/FormulaMapGroupSpecialOffset.hpp>
#include <com/sun/star/sheet/XFormulaOpCodeMapper.hpp>
#include <com/sun/star/sheet/XFormulaTokens.hpp>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>

#include "excel/calc/calls/calc_errors.h"
#include "excel/calc/packages/xlsx_tables.h"
#include "excel/errors.h"
#include "platform/notices.h"
#include "text/utf8.h"

namespace excel::calc {
namespace uno = css::uno;
using Tokens = uno::Sequence<css::sheet::FormulaToken>;

namespace {

bool ImportedFromXlsx(Document& document) {
  for (const css::beans::PropertyValue& argument : document.model->getArgs()) {
    rtl::OUString filter;
    if (argument.Name == "FilterName" && (argument.Value >>= filter))
      return filter.startsWith("Calc MS Excel 2007") || filter.startsWith("Calc Office Open XML");
  }
  return false;
}

// The package's tables and formulas; nullopt when it has no tables or
// cannot be read (said in a notice: its formulas stay as the office read
// them).
std::optional<PackageTables> TablesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  std::string error = "the file cannot be read";
  if (in && bytes << in.rdbuf()) {
    ZipPackage package;
    if (const outcome::Error unopened = package.Open(std::move(bytes).str())) {
      error = unopened.Message();
    } else if (outcome::Expected<PackageTables> found = ReadPackageTables(package)) {
      return found->tables.empty() ? std::nullopt : std::optional(std::move(*found));
    } else {
      error = found.TakeError().Message();
    }
  }
  platform::PublishNotice(path + ": its tables could not be read (" + error +
                          "), so formulas naming them stay as the office read them");
  return std::nullopt;
}

// The office's code for a part of a formula it could not read.
sal_Int32 UnreadOpCode(Document& document) {
  const uno::Reference<css::lang::XMultiServiceFactory> factory(document.component,
                                                                uno::UNO_QUERY_THROW);
  const uno::Reference<css::sheet::XFormulaOpCodeMapper> mapper(
      factory->createInstance("com.sun.star.sheet.FormulaOpCodeMapper"), uno::UNO_QUERY_THROW);
  const uno::Sequence<css::sheet::FormulaOpCodeMapEntry> special = mapper->getAvailableMappings(
      css::sheet::FormulaLanguage::ENGLISH, css::sheet::FormulaMapGroup::SPECIAL);
  constexpr sal_Int32 kBad = css::sheet::FormulaMapGroupSpecialOffset::BAD;
  if (special.getLength() <= kBad) com::Throw(kApplicationError, "the office names no bad token");
  return special[kBad].Token.OpCode;
}

class Rewriting {
 public:
  Rewriting(Document& document, const PackageTables& package)
      : document_(document),
        package_(package),
        unread_(UnreadOpCode(document)),
        parser_(FormulaParserOf(document)),
        sheets_(document.spreadsheet->getSheets(), uno::UNO_QUERY_THROW),
        refused_(package.tables.size()) {}

  void Formula(const PackageFormula& formula) {
    const std::optional<StructuredRewrite> rewrite = WithoutStructuredReferences(
        formula.text, package_.tables, package_.sheets, formula.sheet, formula.row, formula.column);
    if (!rewrite) return;
    bool needed = rewrite->misread;
    bool known = true;
    for (const std::size_t table : rewrite->tables) {
      needed = needed || refused_[table].value_or(false);
      known = known && refused_[table].has_value();
    }
    if (!needed && known) return;
    const uno::Reference<css::sheet::XSpreadsheet> sheet = SheetAt(formula.sheet);
    if (!sheet.is()) return;
    const uno::Reference<css::table::XCell> cell =
        sheet->getCellByPosition(formula.column, formula.row);
    const uno::Reference<css::sheet::XFormulaTokens> tokens(cell, uno::UNO_QUERY_THROW);
    Tokens asRead = tokens->getTokens();
    if (!needed) {
      // The office's own reading tells whether it takes the table's name.
      needed = HasUnread(asRead);
      if (rewrite->tables.size() == 1) refused_[rewrite->tables.front()] = needed;
      if (!needed) return;
    }
    const Tokens parsed = parser_->parseFormula(
        ToOUString(SpreadsheetFormulaForParser(text::Utf8ToUtf16("=" + rewrite->formula))),
        css::table::CellAddress(static_cast<sal_Int16>(formula.sheet), formula.column,
                                formula.row));
    if (HasUnread(parsed)) return;
    tokens->setTokens(parsed);
    if (IsFormulaSyntaxError(cell->getError())) {
      tokens->setTokens(asRead);
      return;
    }
    SpellAsFile(asRead, formula.text);
    RewrittenFormula done{static_cast<sal_Int16>(formula.sheet),
                          formula.row,
                          formula.column,
                          "=" + formula.text,
                          "=" + rewrite->formula,
                          cell,
                          cell->getFormula(),
                          asRead,
                          parsed};
    std::lock_guard lock(document_.mutex);
    document_.rewrittenFormulas.push_back(std::move(done));
  }

 private:
  // The office's sheet for the package's sheet `index`, when their names
  // agree.
  uno::Reference<css::sheet::XSpreadsheet> SheetAt(int index) {
    if (index < 0 || index >= sheets_->getCount()) return {};
    if (index != sheetIndex_) {
      sheet_.set(sheets_->getByIndex(index), uno::UNO_QUERY_THROW);
      sheetIndex_ = index;
      const uno::Reference<css::container::XNamed> named(sheet_, uno::UNO_QUERY_THROW);
      sheetAgrees_ = ToUtf8(named->getName()) == package_.sheets[static_cast<std::size_t>(index)];
    }
    return sheetAgrees_ ? sheet_ : uno::Reference<css::sheet::XSpreadsheet>();
  }

  bool HasUnread(const Tokens& tokens) const {
    return std::any_of(tokens.begin(), tokens.end(),
                       [&](const css::sheet::FormulaToken& t) { return t.OpCode == unread_; });
  }

  // The office keeps what it could not read in lower case; put back, such
  // parts would be saved so.
  void SpellAsFile(Tokens& tokens, const std::string& original) const {
    std::vector<std::string> parts;
    for (const css::sheet::FormulaToken& token : tokens) {
      rtl::OUString text;
      if (token.OpCode == unread_ && (token.Data >>= text)) parts.push_back(ToUtf8(text));
    }
    const std::vector<std::string> spelled = OriginalSpelling(parts, original);
    std::size_t next = 0;
    css::sheet::FormulaToken* token = tokens.getArray();
    for (sal_Int32 i = 0; i < tokens.getLength(); ++i, ++token) {
      if (token->OpCode == unread_ && token->Data.has<rtl::OUString>() && next < spelled.size())
        token->Data <<= Utf8ToOUString(spelled[next++]);
    }
  }

  Document& document_;
  const PackageTables& package_;
  sal_Int32 unread_;
  uno::Reference<css::sheet::XFormulaParser> parser_;
  uno::Reference<css::container::XIndexAccess> sheets_;
  std::vector<std::optional<bool>> refused_;  // by table: the office does not read its name
  uno::Reference<css::sheet::XSpreadsheet> sheet_;
  int sheetIndex_ = -1;
  bool sheetAgrees_ = false;
};

}  // namespace

void RewriteUnreadFormulas(Document& document, const std::string& path) {
  try {
    document.Call(kApplicationError, [&] {
      if (!ImportedFromXlsx(document)) return;
      const std::optional<PackageTables> package = TablesOf(path);
      if (!package) return;
      Rewriting rewriting(document, *package);
      for (const PackageFormula& formula : package->formulas) {
        try {
          rewriting.Formula(formula);
        } catch (const css::lang::DisposedException&) {
          throw;
        } catch (const css::uno::Exception&) {
          // This formula stays as the office read it.
        }
      }
    });
  } catch (const com::Error&) {
    // The formulas not yet rewritten stay as the office read them; an
    // office that is gone says so at the next call.
  }
}

FileFormulasForStore::FileFormulasForStore(Document& document) : document_(document) {
  std::lock_guard lock(document_.mutex);
  const std::vector<RewrittenFormula>& rewritten = document_.rewrittenFormulas;
  try {
    for (std::size_t i = 0; i < rewritten.size(); ++i) {
      // A write or a macro has replaced it since: it is no longer ours.
      if (rewritten[i].cell->getFormula() != rewritten[i].held) {
        replaced_.push_back(i);
        continue;
      }
      const uno::Reference<css::sheet::XFormulaTokens> tokens(rewritten[i].cell,
                                                              uno::UNO_QUERY_THROW);
      tokens->setTokens(rewritten[i].asRead);
      putBack_.push_back(i);
    }
  } catch (...) {
    Redo();
    throw;
  }
}

FileFormulasForStore::~FileFormulasForStore() {
  std::lock_guard lock(document_.mutex);
  Redo();
  std::vector<RewrittenFormula>& rewritten = document_.rewrittenFormulas;
  for (auto index = replaced_.rbegin(); index != replaced_.rend(); ++index)
    rewritten.erase(rewritten.begin() + static_cast<std::ptrdiff_t>(*index));
}

void FileFormulasForStore::Redo() noexcept {
  for (const std::size_t index : putBack_) {
    const RewrittenFormula& formula = document_.rewrittenFormulas[index];
    IgnoringFailures([&] {
      const uno::Reference<css::sheet::XFormulaTokens> tokens(formula.cell, uno::UNO_QUERY_THROW);
      tokens->setTokens(formula.asRewritten);
    });
  }
  putBack_.clear();
}

std::vector<FormulaRewrite> FormulaRewritesOf(Document& document) {
  std::vector<FormulaRewrite> rewrites;
  std::lock_guard lock(document.mutex);
  for (const RewrittenFormula& formula : document.rewrittenFormulas)
    rewrites.push_back(FormulaRewrite{formula.sheet, formula.row, formula.column, formula.original,
                                      formula.rewritten});
  std::sort(rewrites.begin(), rewrites.end(), [](const FormulaRewrite& a, const FormulaRewrite& b) {
    return std::tie(a.sheet, a.row, a.column) < std::tie(b.sheet, b.row, b.column);
  });
  return rewrites;
}

}  // namespace excel::calc
