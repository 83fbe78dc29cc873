// The Basic the driver places into a document stays out of the files the
// office writes, however the store was asked for: the driver's own saves
// take it out first (RemoveWrappers), and a macro's own store in place
// (ThisComponent.store(), ThisWorkbook.Save, a SaveAs) is seen in the
// document's events and written again without it when the macro returns.
// Basic that an office ending meanwhile, or an older build, left in a file
// is taken out when the file is opened.
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/document/DocumentEvent.hpp>
#include <com/sun/star/document/XDocumentEventBroadcaster.hpp>
#include <com/sun/star/document/XDocumentEventListener.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/script/ModuleInfo.hpp>
#include <com/sun/star/script/ModuleType.hpp>
#include <com/sun/star/script/XLibraryContainerPassword.hpp>
#include <com/sun/star/script/vba/XVBACompatibility.hpp>
#include <com/sun/star/script/vba/XVBAModuleInfo.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <cppuhelper/implbase1.hxx>
#include <osl/file.hxx>

#include "excel/calc/calls/calc_objects.h"
#include "excel/calc/documents/workbook_storing.h"
#include "excel/errors.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

// Notes a store the office finished while the driver's Basic was in the
// document. The modules cannot come out then: the store is a macro's, and
// the office ends itself when a running module is replaced or removed. So
// the driver stores the document again once the macro has returned
// (StoreAgainAfterMacro).
class StoreWatch : public cppu::WeakImplHelper1<css::document::XDocumentEventListener> {
 public:
  explicit StoreWatch(std::weak_ptr<Document> document) : document_(std::move(document)) {}

  void SAL_CALL documentEventOccured(const css::document::DocumentEvent& event) override {
    if (event.EventName != "OnSaveDone" && event.EventName != "OnSaveAsDone") return;
    if (const std::shared_ptr<Document> document = document_.lock()) {
      std::lock_guard lock(document->mutex);
      if (!document->wrappers.empty()) document->storedWithOurBasic = true;
    }
  }
  void SAL_CALL disposing(const css::lang::EventObject&) override {}

 private:
  std::weak_ptr<Document> document_;
};

void RestoreModules(const uno::Reference<css::container::XNameContainer>& modules,
                    const std::map<std::string, std::string>& originals) {
  for (const auto& [module, source] : originals) {
    const rtl::OUString name = Utf8ToOUString(module);
    if (modules->hasByName(name)) modules->replaceByName(name, uno::Any(Utf8ToOUString(source)));
  }
}

}  // namespace

uno::Reference<css::script::XLibraryContainer> DocumentLibraries(Document& document) {
  const uno::Reference<css::document::XEmbeddedScripts> scripts(document.component,
                                                                uno::UNO_QUERY_THROW);
  return uno::Reference<css::script::XLibraryContainer>(scripts->getBasicLibraries(),
                                                        uno::UNO_QUERY_THROW);
}

void PutModule(const uno::Reference<css::script::XLibraryContainer>& libraries,
               const uno::Reference<css::container::XNameContainer>& modules,
               const rtl::OUString& name, const rtl::OUString& source) {
  const uno::Any text(source);
  if (modules->hasByName(name)) {
    modules->replaceByName(name, text);
    return;
  }
  const uno::Reference<css::script::vba::XVBACompatibility> vba(libraries, uno::UNO_QUERY);
  const uno::Reference<css::script::vba::XVBAModuleInfo> info(modules, uno::UNO_QUERY);
  if (vba.is() && vba->getVBACompatibilityMode() && info.is() && !info->hasModuleInfo(name)) {
    css::script::ModuleInfo standard;
    standard.ModuleType = css::script::ModuleType::NORMAL;
    info->insertModuleInfo(name, standard);
  }
  modules->insertByName(name, text);
}

void RemoveModule(const uno::Reference<css::container::XNameContainer>& modules,
                  const rtl::OUString& name) {
  modules->removeByName(name);
  const uno::Reference<css::script::vba::XVBAModuleInfo> info(modules, uno::UNO_QUERY);
  if (info.is() && info->hasModuleInfo(name)) info->removeModuleInfo(name);
}

void GuardStores(const std::shared_ptr<Document>& document) {
  {
    std::lock_guard lock(document->mutex);
    if (document->storesGuarded) return;
    document->storesGuarded = true;
  }
  const uno::Reference<css::document::XDocumentEventBroadcaster> broadcaster(document->component,
                                                                             uno::UNO_QUERY_THROW);
  broadcaster->addDocumentEventListener(new StoreWatch(document));
}

void StoreAgainAfterMacro(Document& document) {
  {
    std::lock_guard lock(document.mutex);
    if (!document.storedWithOurBasic) return;
    document.storedWithOurBasic = false;
  }
  rtl::OUString url;
  try {
    url = document.model->getURL();
  } catch (const css::lang::DisposedException&) {
    return;  // closed by the macro too: the next open takes our Basic out
  }
  rtl::OUString path;
  if (osl::FileBase::getSystemPathFromFileURL(url, path) != osl::FileBase::E_None) return;
  StoreInPlace(document, ToUtf8(path));
}

void RemoveLeftoverBasic(Document& document) {
  const uno::Reference<css::document::XEmbeddedScripts> scripts(document.component, uno::UNO_QUERY);
  if (!scripts.is()) return;
  const uno::Reference<css::script::XLibraryContainer> container(scripts->getBasicLibraries(),
                                                                 uno::UNO_QUERY);
  const uno::Reference<css::script::XLibraryContainerPassword> passwords(container, uno::UNO_QUERY);
  if (!container.is()) return;
  const uno::Reference<css::container::XNameAccess> libraries(container, uno::UNO_QUERY_THROW);
  const uno::Reference<css::util::XModifiable> modifiable(document.component, uno::UNO_QUERY);
  const bool wasModified = modifiable.is() && modifiable->isModified();
  bool changed = false;
  for (const rtl::OUString& library : libraries->getElementNames()) {
    if (passwords.is() && passwords->isLibraryPasswordProtected(library)) continue;
    try {
      container->loadLibrary(library);
      const uno::Reference<css::container::XNameContainer> modules(libraries->getByName(library),
                                                                   uno::UNO_QUERY_THROW);
      for (const rtl::OUString& module : modules->getElementNames()) {
        const std::string source = ModuleSourceOf(modules, module);
        if (IsLeftoverModule(ToUtf8(module), source)) {
          RemoveModule(modules, module);
          changed = true;
        } else if (const std::string_view before = AsBeforePreparing(source);
                   before.size() != source.size()) {
          modules->replaceByName(module, uno::Any(Utf8ToOUString(std::string(before))));
          changed = true;
        }
      }
    } catch (const css::lang::DisposedException&) {
      throw;
    } catch (const css::uno::Exception&) {
      // A library that cannot be read or changed is left as it is.
    }
  }
  // The workbook as its user made it is unchanged.
  if (changed && !wasModified) modifiable->setModified(false);
}

void RemoveWrappers(Document& document) {
  std::lock_guard lock(document.mutex);
  if (document.wrappers.empty()) return;
  const uno::Reference<css::document::XEmbeddedScripts> scripts(document.component,
                                                                uno::UNO_QUERY_THROW);
  const uno::Reference<css::container::XNameAccess> names(scripts->getBasicLibraries(),
                                                          uno::UNO_QUERY_THROW);
  for (const auto& wrapped : document.wrappers) {
    const std::string& library = wrapped.first;
    const uno::Reference<css::container::XNameContainer> modules(
        names->getByName(Utf8ToOUString(library)), uno::UNO_QUERY_THROW);
    for (const rtl::OUString& module : modules->getElementNames())
      if (IsGeneratedModule(ModuleSourceOf(modules, module))) RemoveModule(modules, module);
    RestoreModules(modules, document.originalSources[library]);
  }
  document.wrappers.clear();
  document.originalSources.clear();
  document.scripts.clear();
}

void PutBasicModule(Document& document, const std::string& library, const std::string& module,
                    const std::string& source) {
  document.Call(kApplicationError, [&] {
    const uno::Reference<css::script::XLibraryContainer> libraries = DocumentLibraries(document);
    const rtl::OUString name = Utf8ToOUString(library);
    if (!libraries->hasByName(name)) libraries->createLibrary(name);
    libraries->loadLibrary(name);
    const uno::Reference<css::container::XNameContainer> modules(libraries->getByName(name),
                                                                 uno::UNO_QUERY_THROW);
    PutModule(libraries, modules, Utf8ToOUString(module), Utf8ToOUString(source));
    std::lock_guard lock(document.mutex);
    document.macros.reset();
    document.scripts.clear();
    // The new source is not made ready to run: the next call does that.
    document.wrappers.erase(library);
    document.originalSources[library].erase(module);
  });
}

}  // namespace excel::calc
