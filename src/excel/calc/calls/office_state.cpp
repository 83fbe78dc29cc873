#include "excel/calc/calls/office_state.h"

#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>
#include <com/sun/star/util/PathSubstitution.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XFlushable.hpp>
#include <osl/file.hxx>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "excel/calc/calls/uno_util.h"
#include "excel/calc/process/office_program.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

// Items an office rewrites by itself as documents are opened, shown and
// closed (toolbars, sidebar decks, window states, the history, the times it
// last showed an info bar): comparing them would find every used office
// changed. Prefixes of the item's path.
constexpr std::string_view kOwnItems[] = {
    "/org.openoffice.Office.Histories",
    "/org.openoffice.Office.Common/History",
    "/org.openoffice.Office.Views",
    "/org.openoffice.Office.Recovery",
    "/org.openoffice.Office.UI",  // and every component below, as Office.UI.Sidebar
    "/org.openoffice.Setup/Product\"",
    "/org.openoffice.Setup/Office\"",
    "/org.openoffice.Setup/Office/Factories",
    // Cleared by the office a while after its first start, whenever that is.
    "/org.openoffice.Office.Common/Misc\"><prop oor:name=\"FirstRun\"",
};

uno::Reference<css::script::XLibraryContainer> Container(
    const uno::Reference<uno::XComponentContext>& context, const char* service) {
  return uno::Reference<css::script::XLibraryContainer>(
      context->getServiceManager()->createInstanceWithContext(
          rtl::OUString::createFromAscii(service), context),
      uno::UNO_QUERY_THROW);
}

uno::Reference<css::script::XLibraryContainer> BasicLibraries(
    const uno::Reference<uno::XComponentContext>& context) {
  return Container(context, "com.sun.star.script.ApplicationScriptLibraryContainer");
}

uno::Reference<css::script::XLibraryContainer> DialogLibraries(
    const uno::Reference<uno::XComponentContext>& context) {
  return Container(context, "com.sun.star.script.ApplicationDialogLibraryContainer");
}

std::vector<rtl::OUString> Names(const uno::Reference<css::script::XLibraryContainer>& container) {
  const uno::Reference<css::container::XNameAccess> names(container, uno::UNO_QUERY_THROW);
  const uno::Sequence<rtl::OUString> all = names->getElementNames();
  return {all.begin(), all.end()};
}

std::map<std::string, std::string> Modules(
    const uno::Reference<css::script::XLibraryContainer>& container, const rtl::OUString& library) {
  const uno::Reference<css::container::XNameAccess> names(container, uno::UNO_QUERY_THROW);
  const uno::Reference<css::container::XNameAccess> modules(names->getByName(library),
                                                            uno::UNO_QUERY_THROW);
  std::map<std::string, std::string> sources;
  for (const rtl::OUString& module : modules->getElementNames()) {
    rtl::OUString source;
    modules->getByName(module) >>= source;
    sources[ToUtf8(module)] = ToUtf8(source);
  }
  return sources;
}

// The office's user folder (in its profile), empty when it is not a local one.
std::filesystem::path UserFolder(const uno::Reference<uno::XComponentContext>& context) {
  const rtl::OUString url =
      css::util::PathSubstitution::create(context)->getSubstituteVariableValue("$(user)");
  rtl::OUString path;
  if (osl::FileBase::getSystemPathFromFileURL(url, path) != osl::FileBase::E_None) return {};
  return ToUtf8(path);
}

std::string ReadSettings(const uno::Reference<uno::XComponentContext>& context,
                         const std::filesystem::path& userFolder) {
  // The office writes changed settings to its profile some time later; a
  // flush writes them now.
  const uno::Reference<css::util::XFlushable> provider(
      css::configuration::theDefaultProvider::get(context), uno::UNO_QUERY_THROW);
  provider->flush();
  std::ifstream file(userFolder / "registrymodifications.xcu");
  std::ostringstream text;
  text << file.rdbuf();
  return ComparableSettings(text.str());
}

// Every document of the office closed, unsaved changes dropped: true when
// none is left.
bool CloseEveryDocument(const uno::Reference<css::frame::XDesktop2>& desktop) {
  const uno::Reference<css::container::XEnumeration> open =
      desktop->getComponents()->createEnumeration();
  std::vector<uno::Reference<uno::XInterface>> components;
  while (open->hasMoreElements()) {
    uno::Reference<uno::XInterface> component(open->nextElement(), uno::UNO_QUERY);
    if (component.is()) components.push_back(component);
  }
  for (const uno::Reference<uno::XInterface>& component : components) {
    const uno::Reference<css::util::XCloseable> closeable(component, uno::UNO_QUERY);
    if (closeable.is()) {
      closeable->close(true);
    } else if (const uno::Reference<css::lang::XComponent> disposable(component, uno::UNO_QUERY);
               disposable.is()) {
      disposable->dispose();
    }
  }
  return !desktop->getComponents()->createEnumeration()->hasMoreElements() &&
         desktop->getFrames()->getCount() == 0;
}

// Whether the office's Basic libraries are as in `baseline`. Nothing is
// put back: what ran in a library outlives the library's modules, and even
// the library (Global variables, the office keeps for its life, and module
// variables, as measured), so only a fresh office is rid of it.
bool SameBasic(const uno::Reference<css::script::XLibraryContainer>& container,
               const std::map<std::string, OfficeState::Library>& baseline) {
  const std::vector<rtl::OUString> names = Names(container);
  if (names.size() != baseline.size()) return false;
  for (const rtl::OUString& name : names) {
    const auto library = baseline.find(ToUtf8(name));
    if (library == baseline.end() || container->isLibraryLoaded(name) != library->second.loaded)
      return false;
    if (library->second.loaded && Modules(container, name) != library->second.modules) return false;
  }
  return true;
}

bool SameDialogs(const uno::Reference<css::script::XLibraryContainer>& container,
                 const std::set<std::string>& baseline) {
  std::set<std::string> names;
  for (const rtl::OUString& name : Names(container))
    names.insert(ToUtf8(name));
  return names == baseline;
}

// A workbook of one formula and one macro, as a flat file: what its loading
// exercises (type detection, the import filter, the spreadsheet module,
// formulas, Basic).
constexpr char kFirstWorkbook[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:script="urn:oasis:names:tc:opendocument:xmlns:script:1.0"
 xmlns:ooo="http://openoffice.org/2004/office" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:scripts><office:script script:language="ooo:Basic"><ooo:libraries>
  <ooo:library-embedded ooo:name="Standard"><ooo:module ooo:name="First"><ooo:source-code
  >Function Twice(x)
 Twice = x * 2
End Function
</ooo:source-code></ooo:module></ooo:library-embedded>
 </ooo:libraries></office:script></office:scripts>
 <office:body><office:spreadsheet><table:table table:name="Sheet1"><table:table-row>
  <table:table-cell office:value-type="float" office:value="1"/>
  <table:table-cell table:formula="of:=[.A1]*2" office:value-type="float" office:value="2"/>
 </table:table-row></table:table></office:spreadsheet></office:body></office:document>
)";

}  // namespace

void LoadFirstWorkbook(const uno::Reference<css::frame::XDesktop2>& desktop, bool views,
                       const std::filesystem::path& folder) {
  const std::filesystem::path file = folder / "first-workbook.fods";
  if (!(std::ofstream(file) << kFirstWorkbook)) return;
  IgnoringFailures([&] {
    uno::Sequence<css::beans::PropertyValue> arguments(2);
    arguments.getArray()[0].Name = "Hidden";
    arguments.getArray()[0].Value <<= !views;
    arguments.getArray()[1].Name = "MacroExecutionMode";
    arguments.getArray()[1].Value <<= css::document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN;
    const uno::Reference<css::frame::XComponentLoader> loader(desktop, uno::UNO_QUERY_THROW);
    const uno::Reference<css::lang::XComponent> document =
        loader->loadComponentFromURL(Utf8ToOUString(FileUrlFromPath(file)), "_blank", 0, arguments);
    const uno::Reference<css::util::XCloseable> closeable(document, uno::UNO_QUERY_THROW);
    IgnoringFailures([&] {
      const uno::Reference<css::script::provider::XScriptProviderSupplier> scripts(
          document, uno::UNO_QUERY_THROW);
      uno::Sequence<uno::Any> parameters(1);
      parameters.getArray()[0] <<= 1.0;
      uno::Sequence<sal_Int16> outIndices;
      uno::Sequence<uno::Any> outValues;
      scripts->getScriptProvider()
          ->getScript("vnd.sun.star.script:Standard.First.Twice?language=Basic&location=document")
          ->invoke(parameters, outIndices, outValues);
    });
    closeable->close(true);
  });
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
}

std::string ComparableSettings(std::string_view registryModifications) {
  std::vector<std::string_view> items;
  std::size_t start = 0;
  while (start < registryModifications.size()) {
    std::size_t end = registryModifications.find('\n', start);
    if (end == std::string_view::npos) end = registryModifications.size();
    const std::string_view line = registryModifications.substr(start, end - start);
    start = end + 1;
    constexpr std::string_view kItem = "<item oor:path=\"";
    if (line.rfind(kItem, 0) != 0) continue;
    const std::string_view path = line.substr(kItem.size());
    const bool own = std::any_of(std::begin(kOwnItems), std::end(kOwnItems),
                                 [&](std::string_view prefix) { return path.starts_with(prefix); });
    if (!own) items.push_back(line);
  }
  // The office writes its items in no fixed order.
  std::sort(items.begin(), items.end());
  std::string text;
  for (const std::string_view item : items)
    text.append(item).push_back('\n');
  return text;
}

OfficeState ReadOfficeState(const uno::Reference<uno::XComponentContext>& context) {
  OfficeState state;
  const uno::Reference<css::script::XLibraryContainer> basic = BasicLibraries(context);
  for (const rtl::OUString& name : Names(basic)) {
    OfficeState::Library& library = state.basic[ToUtf8(name)];
    library.loaded = basic->isLibraryLoaded(name);
    if (library.loaded) library.modules = Modules(basic, name);
  }
  for (const rtl::OUString& name : Names(DialogLibraries(context)))
    state.dialogs.insert(ToUtf8(name));
  state.settings = ReadSettings(context, UserFolder(context));
  return state;
}

std::filesystem::path OfficeProfileFolder(const uno::Reference<uno::XComponentContext>& context) {
  const std::filesystem::path user = UserFolder(context);
  return user.empty() ? user : user.parent_path();
}

bool ResetOfficeState(const uno::Reference<uno::XComponentContext>& context,
                      const uno::Reference<css::frame::XDesktop2>& desktop,
                      const OfficeState* baseline) {
  try {
    const bool closed = CloseEveryDocument(desktop);
    if (!baseline || !closed) return closed;
    return SameBasic(BasicLibraries(context), baseline->basic) &&
           SameDialogs(DialogLibraries(context), baseline->dialogs) &&
           ReadSettings(context, UserFolder(context)) == baseline->settings;
  } catch (...) {
    // Whatever failed, the office is not known to be as it was: that is
    // the whole answer.
    return false;
  }
}

void MarkOfficeChanged(const uno::Reference<uno::XComponentContext>& context) {
  const uno::Reference<css::script::XLibraryContainer> basic = BasicLibraries(context);
  const rtl::OUString name = "GridmoorOfficeChanged";
  if (!basic->hasByName(name)) basic->createLibrary(name);
}

}  // namespace excel::calc
