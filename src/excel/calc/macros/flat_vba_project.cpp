#include "excel/calc/macros/flat_vba_project.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/script/ModuleInfo.hpp>
#include <com/sun/star/script/ModuleType.hpp>
#include <com/sun/star/script/vba/XVBACompatibility.hpp>
#include <com/sun/star/script/vba/XVBAModuleInfo.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <filesystem>
#include <fstream>

#include "excel/calc/calls/calc_objects.h"
#include "excel/calc/packages/xlsx_package.h"
#include "text/ascii.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

constexpr std::string_view kSettingsEnd = "</office:settings>";
// The settings come before the sheets; a file with none in its first
// megabytes has none to give.
constexpr std::size_t kSettingsSearch = 16u << 20;

// The text of `path` up to the end of its settings; empty without them.
std::string SettingsText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  char buffer[1 << 16];
  while (text.size() < kSettingsSearch && in.read(buffer, sizeof buffer).gcount() > 0) {
    const std::size_t from =
        text.size() > kSettingsEnd.size() ? text.size() - kSettingsEnd.size() : 0;
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (const std::size_t end = text.find(kSettingsEnd, from); end != std::string::npos)
      return text.substr(0, end + kSettingsEnd.size());
    if (text.find("<office:body", from) != std::string::npos) return {};
  }
  return {};
}

// The config:config-item child named `name` of a settings node.
std::string ItemText(const pugi::xml_node& node, std::string_view name) {
  std::string found;
  ForChildren(node, "config-item", [&](const pugi::xml_node& item) {
    if (Attribute(item, "name").value() == name) found = item.text().get();
  });
  return found;
}

// Visits every element below `node` with this local name.
template <typename Visit>
void ForDescendants(const pugi::xml_node& node, std::string_view name, Visit&& visit) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() != pugi::node_element) continue;
    if (LocalName(child.name()) == name) visit(child);
    ForDescendants(child, name, visit);
  }
}

enum class VbaModuleKind { kNone, kStandard, kDocument, kClass };

// What the module's first line, written by the office's VBA import, says.
VbaModuleKind KindOf(std::string_view source) {
  constexpr std::string_view kAttribute = "Rem Attribute VBA_ModuleType=";
  if (source.rfind(kAttribute, 0) != 0) return VbaModuleKind::kNone;
  const std::string_view kind =
      text::Trim(source.substr(kAttribute.size(), source.find('\n') - kAttribute.size()));
  if (kind == "VBAModule") return VbaModuleKind::kStandard;
  if (kind == "VBADocumentModule") return VbaModuleKind::kDocument;
  if (kind == "VBAClassModule" || kind == "VBAFormModule") return VbaModuleKind::kClass;
  return VbaModuleKind::kNone;
}

// Gives the workbook and its sheets the code names of the settings.
void PutCodeNames(Document& document, const FlatCodeNames& names) {
  const uno::Reference<css::beans::XPropertySet> model(document.component, uno::UNO_QUERY_THROW);
  if (!names.workbook.empty())
    model->setPropertyValue("CodeName", uno::Any(Utf8ToOUString(names.workbook)));
  const uno::Reference<css::container::XIndexAccess> sheets(document.spreadsheet->getSheets(),
                                                            uno::UNO_QUERY_THROW);
  for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
    const uno::Reference<css::container::XNamed> named(sheets->getByIndex(i), uno::UNO_QUERY_THROW);
    const auto found = names.sheets.find(ToUtf8(named->getName()));
    if (found == names.sheets.end()) continue;
    const uno::Reference<css::beans::XPropertySet> sheet(named, uno::UNO_QUERY_THROW);
    sheet->setPropertyValue("CodeName", uno::Any(Utf8ToOUString(found->second)));
  }
}

// Whether a library holds VBA: a module the office's VBA import wrote.
bool HoldsVba(const uno::Reference<css::container::XNameContainer>& modules) {
  for (const rtl::OUString& module : modules->getElementNames())
    if (KindOf(ModuleSourceOf(modules, module)) != VbaModuleKind::kNone) return true;
  return false;
}

// Registers each module of a VBA library by its kind; a document module is
// inserted again, bound to the workbook or sheet of its code name (the
// office makes a module's kind when it is inserted).
void RegisterModules(Document& document,
                     const uno::Reference<css::container::XNameContainer>& modules) {
  const uno::Reference<css::script::vba::XVBAModuleInfo> info(modules, uno::UNO_QUERY_THROW);
  const uno::Reference<css::lang::XMultiServiceFactory> factory(document.component,
                                                                uno::UNO_QUERY_THROW);
  const uno::Reference<css::container::XNameAccess> objects(
      factory->createInstance("ooo.vba.VBAObjectModuleObjectProvider"), uno::UNO_QUERY);
  for (const rtl::OUString& module : modules->getElementNames()) {
    if (info->hasModuleInfo(module)) continue;
    const std::string source = ModuleSourceOf(modules, module);
    css::script::ModuleInfo registered;
    switch (KindOf(source)) {
      case VbaModuleKind::kNone:
        continue;
      case VbaModuleKind::kStandard:
        registered.ModuleType = css::script::ModuleType::NORMAL;
        info->insertModuleInfo(module, registered);
        continue;
      case VbaModuleKind::kClass:
        registered.ModuleType = css::script::ModuleType::CLASS;
        break;
      case VbaModuleKind::kDocument:
        if (!objects.is() || !objects->hasByName(module)) continue;  // no code name of the settings
        registered.ModuleType = css::script::ModuleType::DOCUMENT;
        objects->getByName(module) >>= registered.ModuleObject;
        break;
    }
    modules->removeByName(module);
    info->insertModuleInfo(module, registered);
    modules->insertByName(module, uno::Any(Utf8ToOUString(source)));
  }
}

}  // namespace

std::optional<FlatCodeNames> ReadFlatCodeNames(std::string_view xml) {
  const std::size_t start = xml.find("<office:settings");
  const std::size_t end = xml.find(kSettingsEnd);
  if (start == std::string_view::npos || end == std::string_view::npos || end < start)
    return std::nullopt;
  pugi::xml_document parsed;
  const std::string_view settings = xml.substr(start, end + kSettingsEnd.size() - start);
  if (!parsed.load_buffer(settings.data(), settings.size())) return std::nullopt;
  FlatCodeNames names;
  ForDescendants(parsed, "config-item", [&](const pugi::xml_node& item) {
    if (std::string_view(Attribute(item, "name").value()) == "VBACompatibilityMode")
      names.vbaMode = std::string_view(item.text().get()) == "true";
  });
  ForDescendants(parsed, "config-item-map-named", [&](const pugi::xml_node& map) {
    if (std::string_view(Attribute(map, "name").value()) != "ScriptConfiguration") return;
    ForChildren(map, "config-item-map-entry", [&](const pugi::xml_node& entry) {
      const std::string owner = Attribute(entry, "name").value();
      const std::string codeName = ItemText(entry, "CodeName");
      if (codeName.empty()) return;
      if (owner == "*doc*") {
        names.workbook = codeName;
      } else {
        names.sheets[owner] = codeName;
      }
    });
  });
  return names;
}

void RestoreFlatVbaProject(Document& document, const std::string& path) {
  if (!text::EqualsNoCase(std::filesystem::path(path).extension().string(), ".fods")) return;
  const uno::Reference<css::script::XLibraryContainer> libraries = DocumentLibraries(document);
  const uno::Reference<css::script::vba::XVBACompatibility> vba(libraries, uno::UNO_QUERY);
  if (!vba.is() || vba->getVBACompatibilityMode()) return;
  const std::optional<FlatCodeNames> names = ReadFlatCodeNames(SettingsText(path));
  if (!names || !names->vbaMode) return;
  const uno::Reference<css::container::XNameAccess> byName(libraries, uno::UNO_QUERY_THROW);
  const uno::Reference<css::util::XModifiable> modifiable(document.component, uno::UNO_QUERY);
  const bool wasModified = modifiable.is() && modifiable->isModified();
  try {
    PutCodeNames(document, *names);
    vba->setVBACompatibilityMode(true);
    for (const rtl::OUString& library : byName->getElementNames()) {
      libraries->loadLibrary(library);
      const uno::Reference<css::container::XNameContainer> modules(byName->getByName(library),
                                                                   uno::UNO_QUERY);
      if (modules.is() && HoldsVba(modules)) RegisterModules(document, modules);
    }
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::Exception&) {
    // What could not be put back runs as plain Basic, as the office loaded it.
  }
  // The workbook is as its file holds it.
  if (modifiable.is() && !wasModified) modifiable->setModified(false);
}

}  // namespace excel::calc
