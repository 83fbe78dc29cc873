#include "workbook_features.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/script/ModuleType.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/vba/XVBAModuleInfo.hpp>
#include <com/sun/star/sheet/ConditionOperator.hpp>
#include <com/sun/star/sheet/ValidationType.hpp>
#include <com/sun/star/sheet/XCellAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XNamedRange.hpp>
#include <com/sun/star/sheet/XNamedRanges.hpp>
#include <com/sun/star/sheet/XSheetAnnotationAnchor.hpp>
#include <com/sun/star/sheet/XSheetAnnotations.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSheetCondition.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/text/XSimpleText.hpp>

#include <array>
#include <iterator>

#include "excel/calc/calls/calc_objects.h"
#include "excel/errors.h"

namespace excel::calc::testing {
namespace uno = css::uno;
namespace {

// By the enumerations' values.
constexpr std::array<const char*, 8> kValidationTypes = {"ANY",  "WHOLE",    "DECIMAL", "DATE",
                                                         "TIME", "TEXT_LEN", "LIST",    "CUSTOM"};
constexpr std::array<const char*, 10> kConditions = {
    "NONE", "EQUAL",      "NOT_EQUAL", "GREATER",     "GREATER_EQUAL",
    "LESS", "LESS_EQUAL", "BETWEEN",   "NOT_BETWEEN", "FORMULA"};

template <std::size_t N>
int IndexOf(const std::array<const char*, N>& names, const std::string& name) {
  for (std::size_t i = 0; i < N; ++i)
    if (name == names[i]) return static_cast<int>(i);
  com::Throw(com::E_INVALIDARG, "unknown office enumeration name " + name);
}

template <std::size_t N>
std::string NameOf(const std::array<const char*, N>& names, int value) {
  return value >= 0 && static_cast<std::size_t>(value) < N ? names[static_cast<std::size_t>(value)]
                                                           : std::to_string(value);
}

Document& DocumentOf(const com::Ptr<Workbook>& workbook) {
  auto* calc = dynamic_cast<CalcWorkbook*>(workbook.Get());
  if (calc == nullptr) com::Throw(com::E_INVALIDARG, "not a workbook of the Calc application");
  return *calc->GetDocument();
}

template <typename Body>
auto Call(const com::Ptr<Workbook>& workbook, Body&& body)
    -> decltype(body(std::declval<Document&>())) {
  Document& document = DocumentOf(workbook);
  return document.Call(kApplicationError, [&] { return body(document); });
}

uno::Reference<css::sheet::XSpreadsheet> FirstSheet(Document& document) {
  const uno::Reference<css::container::XIndexAccess> sheets(document.spreadsheet->getSheets(),
                                                            uno::UNO_QUERY_THROW);
  return uno::Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(0), uno::UNO_QUERY_THROW);
}

uno::Reference<css::beans::XPropertySet> RangeProperties(Document& document,
                                                         const std::string& range) {
  return uno::Reference<css::beans::XPropertySet>(
      FirstSheet(document)->getCellRangeByName(Utf8ToOUString(range)), uno::UNO_QUERY_THROW);
}

uno::Reference<css::sheet::XNamedRanges> NamedRanges(Document& document) {
  const uno::Reference<css::beans::XPropertySet> properties(document.spreadsheet,
                                                            uno::UNO_QUERY_THROW);
  return uno::Reference<css::sheet::XNamedRanges>(properties->getPropertyValue("NamedRanges"),
                                                  uno::UNO_QUERY_THROW);
}

}  // namespace

void AddDefinedName(const com::Ptr<Workbook>& workbook, const std::string& name,
                    const std::string& content) {
  Call(workbook, [&](Document& document) {
    NamedRanges(document)->addNewByName(Utf8ToOUString(name), Utf8ToOUString(content),
                                        css::table::CellAddress(0, 0, 0), 0);
  });
}

std::map<std::string, std::string> DefinedNames(const com::Ptr<Workbook>& workbook) {
  return Call(workbook, [&](Document& document) {
    std::map<std::string, std::string> names;
    const uno::Reference<css::sheet::XNamedRanges> ranges = NamedRanges(document);
    for (const rtl::OUString& name : ranges->getElementNames()) {
      const uno::Reference<css::sheet::XNamedRange> named(ranges->getByName(name),
                                                          uno::UNO_QUERY_THROW);
      names[ToUtf8(name)] = ToUtf8(named->getContent());
    }
    return names;
  });
}

void SetValidation(const com::Ptr<Workbook>& workbook, const std::string& range,
                   const ValidationRule& rule) {
  Call(workbook, [&](Document& document) {
    const uno::Reference<css::beans::XPropertySet> cells = RangeProperties(document, range);
    const uno::Reference<css::beans::XPropertySet> validation(cells->getPropertyValue("Validation"),
                                                              uno::UNO_QUERY_THROW);
    validation->setPropertyValue(
        "Type",
        uno::Any(static_cast<css::sheet::ValidationType>(IndexOf(kValidationTypes, rule.type))));
    validation->setPropertyValue("ErrorMessage", uno::Any(Utf8ToOUString(rule.errorMessage)));
    validation->setPropertyValue("ShowErrorMessage", uno::Any(!rule.errorMessage.empty()));
    const uno::Reference<css::sheet::XSheetCondition> condition(validation, uno::UNO_QUERY_THROW);
    condition->setOperator(
        static_cast<css::sheet::ConditionOperator>(IndexOf(kConditions, rule.condition)));
    condition->setFormula1(Utf8ToOUString(rule.formula1));
    condition->setFormula2(Utf8ToOUString(rule.formula2));
    cells->setPropertyValue("Validation", uno::Any(validation));
  });
}

ValidationRule ValidationOf(const com::Ptr<Workbook>& workbook, const std::string& cell) {
  return Call(workbook, [&](Document& document) {
    const uno::Reference<css::beans::XPropertySet> validation(
        RangeProperties(document, cell)->getPropertyValue("Validation"), uno::UNO_QUERY_THROW);
    css::sheet::ValidationType type = css::sheet::ValidationType_ANY;
    validation->getPropertyValue("Type") >>= type;
    rtl::OUString message;
    validation->getPropertyValue("ErrorMessage") >>= message;
    const uno::Reference<css::sheet::XSheetCondition> condition(validation, uno::UNO_QUERY_THROW);
    return ValidationRule{NameOf(kValidationTypes, static_cast<int>(type)),
                          NameOf(kConditions, static_cast<int>(condition->getOperator())),
                          ToUtf8(condition->getFormula1()), ToUtf8(condition->getFormula2()),
                          ToUtf8(message)};
  });
}

std::map<std::string, BasicModule> BasicModulesOf(const com::Ptr<Workbook>& workbook,
                                                  const std::string& library) {
  return Call(workbook, [&](Document& document) {
    const uno::Reference<css::document::XEmbeddedScripts> scripts(document.component,
                                                                  uno::UNO_QUERY_THROW);
    const uno::Reference<css::script::XLibraryContainer> libraries(scripts->getBasicLibraries(),
                                                                   uno::UNO_QUERY_THROW);
    std::map<std::string, BasicModule> modules;
    const rtl::OUString name = Utf8ToOUString(library);
    if (!libraries->hasByName(name)) return modules;
    libraries->loadLibrary(name);
    const uno::Reference<css::container::XNameAccess> sources(libraries->getByName(name),
                                                              uno::UNO_QUERY_THROW);
    const uno::Reference<css::script::vba::XVBAModuleInfo> info(sources, uno::UNO_QUERY);
    for (const rtl::OUString& module : sources->getElementNames()) {
      rtl::OUString source;
      sources->getByName(module) >>= source;
      const bool document =
          info.is() && info->hasModuleInfo(module) &&
          info->getModuleInfo(module).ModuleType == css::script::ModuleType::DOCUMENT;
      modules[ToUtf8(module)] = BasicModule{ToUtf8(source), document};
    }
    return modules;
  });
}

void AddNote(const com::Ptr<Workbook>& workbook, const std::string& cell, const std::string& text,
             bool visible) {
  Call(workbook, [&](Document& document) {
    const uno::Reference<css::sheet::XSpreadsheet> sheet = FirstSheet(document);
    const uno::Reference<css::sheet::XCellAddressable> target(
        sheet->getCellRangeByName(Utf8ToOUString(cell)), uno::UNO_QUERY_THROW);
    const uno::Reference<css::sheet::XSheetAnnotationsSupplier> supplier(sheet,
                                                                         uno::UNO_QUERY_THROW);
    supplier->getAnnotations()->insertNew(target->getCellAddress(), Utf8ToOUString(text));
    const uno::Reference<css::sheet::XSheetAnnotationAnchor> anchor(target, uno::UNO_QUERY_THROW);
    anchor->getAnnotation()->setIsVisible(visible);
  });
}

std::map<std::string, std::string> NotesOf(const com::Ptr<Workbook>& workbook) {
  return Call(workbook, [&](Document& document) {
    const uno::Reference<css::sheet::XSheetAnnotationsSupplier> supplier(FirstSheet(document),
                                                                         uno::UNO_QUERY_THROW);
    const uno::Reference<css::sheet::XSheetAnnotations> notes = supplier->getAnnotations();
    std::map<std::string, std::string> found;
    for (sal_Int32 i = 0; i < notes->getCount(); ++i) {
      const uno::Reference<css::sheet::XSheetAnnotation> note(notes->getByIndex(i),
                                                              uno::UNO_QUERY_THROW);
      const uno::Reference<css::text::XSimpleText> text(note, uno::UNO_QUERY_THROW);
      const css::table::CellAddress at = note->getPosition();
      std::string name;
      for (sal_Int32 column = at.Column + 1; column > 0; column = (column - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (column - 1) % 26));
      found[name + std::to_string(at.Row + 1)] =
          ToUtf8(text->getString()) + (note->getIsVisible() ? " (shown)" : "");
    }
    return found;
  });
}

bool IsLoadedHidden(const com::Ptr<Workbook>& workbook) {
  return Call(workbook, [&](Document& document) {
    bool hidden = false;
    for (const css::beans::PropertyValue& argument : document.model->getArgs()) {
      if (argument.Name == "Hidden") argument.Value >>= hidden;
    }
    return hidden;
  });
}

void PrintTo(const ValidationRule& rule, std::ostream* out) {
  *out << "{" << rule.type << " " << rule.condition << " '" << rule.formula1 << "' '"
       << rule.formula2 << "' message '" << rule.errorMessage << "'}";
}

void PrintTo(const BasicModule& module, std::ostream* out) {
  *out << (module.documentModule ? "document module: " : "module: ") << module.source;
}

}  // namespace excel::calc::testing
