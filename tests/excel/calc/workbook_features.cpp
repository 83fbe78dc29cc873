#include "workbook_features.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/script/ModuleType.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/vba/XVBAModuleInfo.hpp>
#include <com/sun/star/sheet/XCellAddressable.hpp>
#include <com/sun/star/sheet/XNamedRanges.hpp>
#include <com/sun/star/sheet/XSheetAnnotationAnchor.hpp>
#include <com/sun/star/sheet/XSheetAnnotations.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <com/sun/star/text/XSimpleText.hpp>

#include "excel/calc/calls/calc_objects.h"
#include "excel/errors.h"

namespace excel::calc::testing {
namespace uno = css::uno;
namespace {

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

}  // namespace

void AddDefinedName(const com::Ptr<Workbook>& workbook, const std::string& name,
                    const std::string& content) {
  Call(workbook, [&](Document& document) {
    const uno::Reference<css::beans::XPropertySet> properties(document.spreadsheet,
                                                              uno::UNO_QUERY_THROW);
    const uno::Reference<css::sheet::XNamedRanges> names(
        properties->getPropertyValue("NamedRanges"), uno::UNO_QUERY_THROW);
    names->addNewByName(Utf8ToOUString(name), Utf8ToOUString(content),
                        css::table::CellAddress(0, 0, 0), 0);
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
    for (const css::beans::PropertyValue& argument : document.model->getArgs())
      if (argument.Name == "Hidden") argument.Value >>= hidden;
    return hidden;
  });
}

int RowHeightOf(const com::Ptr<Workbook>& workbook, int row) {
  return Call(workbook, [&](Document& document) {
    const uno::Reference<css::container::XIndexAccess> sheets(document.spreadsheet->getSheets(),
                                                              uno::UNO_QUERY_THROW);
    const uno::Reference<css::table::XColumnRowRange> sheet(sheets->getByIndex(0),
                                                            uno::UNO_QUERY_THROW);
    const uno::Reference<css::beans::XPropertySet> properties(sheet->getRows()->getByIndex(row),
                                                              uno::UNO_QUERY_THROW);
    sal_Int32 height = 0;
    properties->getPropertyValue("Height") >>= height;
    return static_cast<int>(height);
  });
}

void PrintTo(const BasicModule& module, std::ostream* out) {
  *out << (module.documentModule ? "document module: " : "module: ") << module.source;
}

}  // namespace excel::calc::testing
