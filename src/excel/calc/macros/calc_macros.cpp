// Running Basic macros by the names spreadsheet users give them.
//
// The office's script provider swallows a Basic runtime error (the call
// just returns nothing), so each macro is called through a small generated
// wrapper with an error handler, placed in the macro's own library, with
// stand-ins for the message and input boxes in the library's modules that
// call them. Both are taken out again before the document is stored.
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/script/XLibraryContainerPassword.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/script/provider/XScriptProvider.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>
#include <com/sun/star/script/provider/theMasterScriptProviderFactory.hpp>

#include "excel/calc/basic/basic_procedures.h"
#include "excel/calc/basic/basic_source.h"
#include "excel/calc/basic/macro_names.h"
#include "excel/calc/calls/calc_objects.h"
#include "excel/calc/cells/moved_cells.h"
#include "excel/calc/macros/script_provider.h"
#include "excel/errors.h"
#include "platform/notices.h"
#include "text/ascii.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

// Whether `modules` holds a user's module `name` (not one the driver placed).
template <typename Modules>
bool HoldsUsersModule(const uno::Reference<Modules>& modules, std::string_view name) {
  const rtl::OUString module = Utf8ToOUString(std::string(name));
  return modules->hasByName(module) && !IsGeneratedModule(ModuleSourceOf(modules, module));
}

// Calls visit(library, module, source) for every module of every library
// whose source can be read, as the workbook holds it (what a run prepared
// taken off).
template <typename Visit>
void ForEachModule(const uno::Reference<css::script::XLibraryContainer>& libraries, Visit&& visit) {
  const uno::Reference<css::container::XNameAccess> names(libraries, uno::UNO_QUERY_THROW);
  const uno::Reference<css::script::XLibraryContainerPassword> passwords(libraries, uno::UNO_QUERY);
  for (const rtl::OUString& library : names->getElementNames()) {
    if (library.equalsAscii(kProbeLibrary)) continue;
    try {
      if (passwords.is() && passwords->isLibraryPasswordProtected(library) &&
          !passwords->isLibraryPasswordVerified(library))
        continue;
      libraries->loadLibrary(library);
      const uno::Reference<css::container::XNameAccess> modules(names->getByName(library),
                                                                uno::UNO_QUERY_THROW);
      for (const rtl::OUString& module : modules->getElementNames()) {
        const std::string source = ModuleSourceOf(modules, module);
        if (IsGeneratedModule(source)) continue;
        visit(ToUtf8(library), ToUtf8(module), std::string(AsBeforePreparing(source)));
      }
    } catch (const css::lang::DisposedException&) {
      throw;
    } catch (const css::uno::Exception&) {
      // A library that cannot be read holds nothing that can be run.
    }
  }
}

// Every procedure of every library whose source can be read.
std::vector<MacroEntry> IndexLibraries(
    const uno::Reference<css::script::XLibraryContainer>& libraries) {
  std::vector<MacroEntry> entries;
  ForEachModule(libraries, [&](const std::string& library, const std::string& module,
                               const std::string& source) {
    for (BasicProcedure& procedure : FindBasicProcedures(source))
      entries.push_back(MacroEntry{library, module, std::move(procedure)});
  });
  return entries;
}

// Every module of a library made ready to run as the other spreadsheet
// would run it (stand-ins for the message and input boxes, calls of members
// the office lacks redirected); each changed module's source is kept in
// `originals`, when given, to be put back before the workbook is stored.
void PrepareModules(const uno::Reference<css::script::XLibraryContainer>& libraries,
                    const uno::Reference<css::container::XNameContainer>& modules,
                    const std::string& support, std::map<std::string, std::string>* originals) {
  // (Replacing one an older run left.)
  PutModule(libraries, modules, Utf8ToOUString(support), Utf8ToOUString(SupportModuleSource()));
  for (const rtl::OUString& module : modules->getElementNames()) {
    const std::string text = ModuleSourceOf(modules, module);
    if (IsGeneratedModule(text)) continue;
    if (const std::optional<std::string> changed = PreparedForRun(text, support)) {
      if (originals) originals->emplace(ToUtf8(module), text);
      modules->replaceByName(module, uno::Any(Utf8ToOUString(*changed)));
    }
  }
}

// The wrapper for `call` in `library`, placed there when new; empty when
// the library cannot take it (read-only), so that the macro is called
// directly.
std::string EnsureWrapper(const uno::Reference<css::script::XLibraryContainer>& libraries,
                          const std::string& library, std::vector<WrappedCall>& calls,
                          WrappedCall call, std::map<std::string, std::string>* originals) {
  for (const WrappedCall& placed : calls) {
    if (placed.module == call.module && placed.procedure == call.procedure &&
        placed.argumentCount == call.argumentCount && placed.readsWatched == call.readsWatched &&
        placed.writesFirst == call.writesFirst)
      return placed.wrapper;
  }
  const bool first = calls.empty();
  try {
    const uno::Reference<css::container::XNameAccess> names(libraries, uno::UNO_QUERY_THROW);
    const uno::Reference<css::container::XNameContainer> modules(
        names->getByName(Utf8ToOUString(library)), uno::UNO_QUERY_THROW);
    const auto taken = [&](std::string_view name) { return HoldsUsersModule(modules, name); };
    call.support = first ? FreeModuleName(kSupportModule, taken) : calls.front().support;
    call.wrapper =
        FreeModuleName(std::string(kWrapperModule) + std::to_string(calls.size() + 1), taken);
    calls.push_back(call);
    if (first) PrepareModules(libraries, modules, call.support, originals);
    // A module of its own for each wrapper, never replaced: an error raised
    // in a macro library whose module was replaced after a run ends the
    // office.
    const rtl::OUString module = Utf8ToOUString(call.wrapper);
    if (modules->hasByName(module)) RemoveModule(modules, module);
    PutModule(libraries, modules, module, Utf8ToOUString(WrapperModuleSource(call)));
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::Exception&) {
    if (!calls.empty() && calls.back().wrapper == call.wrapper) calls.pop_back();
    return {};
  }
  return call.wrapper;
}

struct Target {
  std::shared_ptr<Document> document;  // null for the office's own libraries
  MacroEntry entry;
};

// What an office's "no such element" in `document` is most likely about: the
// sheets its macros ask for by name that it lacks.
std::string MissingSheetsNamed(Document& document) {
  std::vector<std::string> missing;
  try {
    const uno::Sequence<rtl::OUString> sheets = SheetsOf(document)->getElementNames();
    for (const ModuleSource& module : DocumentModuleSources(document)) {
      for (const std::string& name : SheetNamesAskedFor(module.source)) {
        bool found = false;
        for (const rtl::OUString& sheet : sheets)
          found = found || text::EqualsNoCase(ToUtf8(sheet), name);
        if (!found && std::find(missing.begin(), missing.end(), name) == missing.end())
          missing.push_back(name);
      }
    }
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::Exception&) {
    // Said without the names.
  }
  if (missing.empty()) return "something it asked for by name does not exist, such as a sheet";
  std::string listed;
  for (const std::string& name : missing)
    listed += (listed.empty() ? "\"" : ", \"") + name + "\"";
  return "the workbook has no sheet " + listed;
}

// What a wrapper returned: Array(0, result, dialogs) when the macro ran;
// Array(1, Err, Error$, dialogs) when it raised an error; nothing when
// its library did not compile. (Basic hands an array whose elements share a
// type over as a sequence of that type.) What the macro asked of the
// message and input boxes is published either way.
com::Variant Outcome(const OfficeSession& office, const Target& target,
                     const std::optional<std::vector<uno::Any>>& outcome) {
  const std::string macro = target.entry.module + "." + target.entry.procedure.name;
  sal_Int32 status = 1;
  if (!outcome || outcome->empty() || !((*outcome)[0] >>= status)) {
    com::Throw(com::DISP_E_EXCEPTION,
               macro + ": the macros of library " + target.entry.library +
                   " do not compile (gridmoor-host workbook check names the module and procedure)");
  }
  const std::size_t dialogsAt = status == 0 ? 2 : 3;
  rtl::OUString dialogs;
  if (outcome->size() > dialogsAt) (*outcome)[dialogsAt] >>= dialogs;
  for (const std::string& sentence : DecodeDialogs(ToUtf8(dialogs)))
    platform::PublishNotice("macro " + macro + " " + sentence);
  if (status == 0 && outcome->size() >= 2) return AnyToVariant((*outcome)[1]);
  // Basic's own text of the error. (Its line is not to be had: Basic
  // reports the line of the handler's call, in the wrapper.)
  rtl::OUString reason;
  if (outcome->size() >= 3) (*outcome)[2] >>= reason;
  std::string why = ToUtf8(reason);
  if (!office.ViewsAvailable() && why.find("ViewShell") != std::string::npos)
    why +=
        " (this office cannot give a workbook the view that macros recorded in Excel act "
        "on: install the package libreoffice-calc in place of libreoffice-calc-nogui)";
  if (target.document && why.find("NoSuchElementException") != std::string::npos)
    why = MissingSheetsNamed(*target.document) + " (" + why + ")";
  if (target.document && why.find("storeSelf") != std::string::npos) {
    std::lock_guard lock(target.document->mutex);
    if (!target.document->holder.empty())
      why += " (the workbook is open read-only: it is in use by " + target.document->holder + ")";
  }
  com::Throw(com::DISP_E_EXCEPTION, macro + ": " + why);
}

// What a wrapper read of the watched ranges and the sheets after its macro
// (items 3 and 4 of what it returned); nullopt when it could not read them.
std::optional<WatchedAfterMacro> SeenAfterMacro(
    const std::vector<uno::Any>& outcome,
    const uno::Reference<css::sheet::XSheetCellRangeContainer>& ranges) {
  if (outcome.size() < 5) return std::nullopt;
  WatchedAfterMacro seen{ranges, {}, {}};
  if (!(outcome[3] >>= seen.sheetNames)) {
    const std::optional<std::vector<uno::Any>> names = SequenceItems(outcome[3]);
    if (!names || names->empty()) return std::nullopt;
    seen.sheetNames.realloc(static_cast<sal_Int32>(names->size()));
    for (std::size_t i = 0; i < names->size(); ++i)
      if (!((*names)[i] >>= seen.sheetNames.getArray()[i])) return std::nullopt;
  }
  if (!(outcome[4] >>= seen.addresses)) return std::nullopt;
  return seen;
}

// The script resolved for this call before, if its document kept it.
Document::ResolvedScript RememberedScript(const Target& target, const std::string& key) {
  if (!target.document) return {};
  std::lock_guard lock(target.document->mutex);
  const auto found = target.document->scripts.find(key);
  if (found == target.document->scripts.end()) return {};
  return found->second;
}

// The wrapper module's name for the call (placed in its library when it is
// not there yet), or empty when the macro is called directly.
std::string PlaceWrapper(OfficeSession& office, const Target& target, const WrappedCall& call) {
  const uno::Reference<css::script::XLibraryContainer> libraries =
      target.document ? DocumentLibraries(*target.document) : office.ApplicationLibraries();
  if (!target.document) {
    std::lock_guard lock(office.BasicMutex());
    return EnsureWrapper(libraries, target.entry.library,
                         office.applicationWrappers[target.entry.library], call, nullptr);
  }
  std::string wrapper;
  {
    std::lock_guard lock(target.document->mutex);
    std::vector<WrappedCall>& placed = target.document->wrappers[target.entry.library];
    const std::size_t before = placed.size();
    wrapper = EnsureWrapper(libraries, target.entry.library, placed, call,
                            &target.document->originalSources[target.entry.library]);
    // A library whose modules changed may have been compiled again.
    if (placed.size() != before) target.document->scripts.clear();
  }
  if (!wrapper.empty()) GuardStores(target.document);
  return wrapper;
}

// The script to invoke: the wrapper when there is one, else the macro;
// remembered in its document under `key`.
Document::ResolvedScript ResolveScript(CalcApplication& application, OfficeSession& office,
                                       const Target& target, const WrappedCall& call,
                                       const std::string& key) {
  const std::string wrapper = PlaceWrapper(office, target, call);
  const std::string uri =
      "vnd.sun.star.script:" + target.entry.library + "." +
      (wrapper.empty() ? target.entry.module + "." + target.entry.procedure.name
                       : wrapper + "." + wrapper) +
      "?language=Basic&location=" + (target.document ? "document" : "application");
  Document::ResolvedScript resolved{
      wrapper, ProviderFor(application, target.document)->getScript(Utf8ToOUString(uri))};
  if (target.document) {
    std::lock_guard lock(target.document->mutex);
    target.document->scripts[key] = resolved;
  }
  return resolved;
}

// The call's arguments, then, for a wrapper that reads what is watched, the
// document's sheets and the watched ranges (`ranges` is set to them), and
// the cells it writes first, if any.
uno::Sequence<uno::Any> ScriptParameters(
    const std::vector<com::Variant>& arguments, Document* watched,
    uno::Reference<css::sheet::XSheetCellRangeContainer>& ranges,
    std::span<const CellWrite> writes) {
  const std::size_t count =
      arguments.size() + (watched != nullptr ? 2 : 0) + (writes.empty() ? 0 : 1);
  uno::Sequence<uno::Any> parameters(static_cast<sal_Int32>(count));
  for (std::size_t i = 0; i < arguments.size(); ++i)
    parameters.getArray()[i] = VariantToAny(arguments[i]);
  if (watched != nullptr) {
    ranges = WatchedRanges(*watched);
    parameters.getArray()[arguments.size()] <<= SheetsOf(*watched);
    parameters.getArray()[arguments.size() + 1] <<= ranges;
  }
  if (!writes.empty()) {
    uno::Sequence<uno::Any> cells(static_cast<sal_Int32>(writes.size()));
    for (std::size_t i = 0; i < writes.size(); ++i) {
      const CellWrite& write = writes[i];
      uno::Sequence<uno::Any> cell(4);
      cell.getArray()[0] <<= Utf8ToOUString(write.worksheet);
      cell.getArray()[1] <<= sal_Int32{write.column};
      cell.getArray()[2] <<= sal_Int32{write.row};
      cell.getArray()[3] <<= write.value;
      cells.getArray()[i] <<= cell;
    }
    parameters.getArray()[count - 1] <<= cells;
  }
  return parameters;
}

// Whether a wrapper that writes first found a cell it could not write.
bool Unwritten(const std::optional<std::vector<uno::Any>>& outcome) {
  sal_Int32 status = 0;
  return outcome && !outcome->empty() && ((*outcome)[0] >>= status) && status == 2;
}

// Calls the macro, after writing `writes` in the same call; `seen` is set
// when its wrapper read what is watched in its document after it. None,
// with the macro not run, when the writes cannot go with it.
std::optional<com::Variant> Invoke(CalcApplication& application, const Target& target,
                                   const std::vector<com::Variant>& arguments,
                                   std::optional<WatchedAfterMacro>& seen,
                                   std::span<const CellWrite> writes) {
  OfficeSession& office = *application.Office();
  const WrappedCall call{{},
                         {},
                         target.entry.module,
                         target.entry.procedure.name,
                         target.entry.procedure.isFunction,
                         arguments.size(),
                         target.document != nullptr,
                         !writes.empty()};
  // Only a document's wrapper has the sheets to write into.
  if (call.writesFirst && !call.readsWatched) return std::nullopt;
  const std::string key = target.entry.library + "." + target.entry.module + "." +
                          target.entry.procedure.name + "/" + std::to_string(arguments.size()) +
                          (call.writesFirst ? "/w" : "");
  Document::ResolvedScript resolved = RememberedScript(target, key);
  if (!resolved.script.is()) resolved = ResolveScript(application, office, target, call, key);
  const bool readsWatched = !resolved.wrapper.empty() && call.readsWatched;
  if (call.writesFirst && !readsWatched) return std::nullopt;
  uno::Reference<css::sheet::XSheetCellRangeContainer> ranges;
  const uno::Sequence<uno::Any> parameters =
      ScriptParameters(arguments, readsWatched ? target.document.get() : nullptr, ranges, writes);
  uno::Sequence<sal_Int16> outIndices;
  uno::Sequence<uno::Any> outValues;
  const uno::Any result = resolved.script->invoke(parameters, outIndices, outValues);
  // A macro may store any open workbook, not only its own.
  for (const std::shared_ptr<Document>& document : application.Documents())
    StoreAgainAfterMacro(*document);
  if (resolved.wrapper.empty()) return AnyToVariant(result);
  const std::optional<std::vector<uno::Any>> outcome = SequenceItems(result);
  if (call.writesFirst && Unwritten(outcome)) return std::nullopt;
  com::Variant value = Outcome(office, target, outcome);
  if (readsWatched) seen = SeenAfterMacro(*outcome, ranges);
  return value;
}

// Invoke, the office told which macro runs: a message that it ended names it.
std::optional<com::Variant> InvokeNoted(CalcApplication& application, const Target& target,
                                        const std::vector<com::Variant>& arguments,
                                        std::optional<WatchedAfterMacro>& seen,
                                        std::span<const CellWrite> writes = {}) {
  const std::string name = target.entry.module + "." + target.entry.procedure.name;
  OfficeSession& office = *application.Office();
  office.NoteMacro(name, true);
  try {
    std::optional<com::Variant> result = Invoke(application, target, arguments, seen, writes);
    office.NoteMacro(name, false);
    return result;
  } catch (const com::Error&) {
    office.NoteMacro(name, false);  // the macro failed, the office did not
    throw;
  }
}

// Cells may move under a macro, in any open document: what each has looked
// up is checked before it is used again, unless the macro's wrapper read it
// in the macro's own document. Each document remembers the macro, which a
// later failure may name.
void MarkMacroRan(CalcApplication& application, const Target& target,
                  const std::optional<WatchedAfterMacro>& seen) {
  const MacroEntry& entry = target.entry;
  const std::string name = entry.library + "." + entry.module + "." + entry.procedure.name;
  for (const std::shared_ptr<Document>& document : application.Documents()) {
    AfterMacro(*document, document == target.document && seen ? &*seen : nullptr);
    std::lock_guard lock(document->mutex);
    document->lastMacro = name;
  }
}

// Marks every document for the macro however its call ends.
struct MarkOnExit {
  CalcApplication& application;
  const Target& target;
  std::optional<WatchedAfterMacro> seen;
  ~MarkOnExit() { MarkMacroRan(application, target, seen); }
};

void MarkMacroStarts(CalcApplication& application) {
  for (const std::shared_ptr<Document>& document : application.Documents())
    BeforeMacro(*document);
}

bool BookMatches(const Document& document, const std::string& book) {
  if (text::EqualsNoCase(document.title, book)) return true;
  const std::size_t dot = document.title.rfind('.');
  return dot != std::string::npos && text::EqualsNoCase(document.title.substr(0, dot), book);
}

}  // namespace

uno::Reference<css::script::provider::XScriptProvider> ProviderFor(
    CalcApplication& application, const std::shared_ptr<Document>& document) {
  if (document) {
    const uno::Reference<css::script::provider::XScriptProviderSupplier> supplier(
        document->component, uno::UNO_QUERY_THROW);
    return supplier->getScriptProvider();
  }
  // The office's own macros: any document's provider reaches them too.
  for (const std::shared_ptr<Document>& held : application.Documents()) {
    const uno::Reference<css::script::provider::XScriptProviderSupplier> supplier(held->component,
                                                                                  uno::UNO_QUERY);
    if (supplier.is()) return supplier->getScriptProvider();
  }
  return css::script::provider::theMasterScriptProviderFactory::get(application.Office()->Context())
      ->createScriptProvider(uno::Any(rtl::OUString("user")));
}

std::vector<MacroEntry> DocumentMacros(Document& document) {
  {
    std::lock_guard lock(document.mutex);
    if (document.macros) return *document.macros;
  }
  std::vector<MacroEntry> entries = IndexLibraries(DocumentLibraries(document));
  std::lock_guard lock(document.mutex);
  document.macros = entries;
  return entries;
}

std::vector<ModuleSource> DocumentModuleSources(Document& document) {
  std::vector<ModuleSource> sources;
  ForEachModule(DocumentLibraries(document),
                [&](const std::string& library, const std::string& module, std::string source) {
                  sources.push_back(ModuleSource{library, module, std::move(source)});
                });
  return sources;
}

std::vector<MacroEntry> ApplicationMacros(OfficeSession& office) {
  const uno::Reference<css::script::XLibraryContainer> libraries = office.ApplicationLibraries();
  std::lock_guard lock(office.BasicMutex());
  if (!office.applicationMacros) office.applicationMacros = IndexLibraries(libraries);
  return *office.applicationMacros;
}

com::Variant RunMacro(CalcApplication& application, const std::string& name,
                      const std::vector<com::Variant>& arguments) {
  return *RunMacroAfterWriting(application, name, arguments, {});
}

std::optional<com::Variant> RunMacroAfterWriting(CalcApplication& application,
                                                 const std::string& name,
                                                 const std::vector<com::Variant>& arguments,
                                                 std::span<const CellWrite> writes) {
  const std::optional<MacroName> parsed = ParseMacroName(name);
  if (!parsed) com::Throw(com::DISP_E_EXCEPTION, "\"" + name + "\" is no macro name");
  OfficeSession& office = *application.Office();
  return office.Call(com::DISP_E_EXCEPTION, [&] {
    std::optional<Target> target;
    for (const std::shared_ptr<Document>& document : application.Documents()) {
      if (!parsed->book.empty() && !BookMatches(*document, parsed->book)) continue;
      if (document->IsClosed()) continue;
      const std::vector<MacroEntry> macros = DocumentMacros(*document);
      if (const MacroEntry* entry = FindMacro(macros, *parsed)) {
        target = Target{document, *entry};
        break;
      }
    }
    if (!target && parsed->book.empty()) {
      const std::vector<MacroEntry> macros = ApplicationMacros(office);
      if (const MacroEntry* entry = FindMacro(macros, *parsed)) target = Target{nullptr, *entry};
    }
    if (!target)
      com::Throw(com::DISP_E_EXCEPTION, "There is no macro " + std::string(text::Trim(name)) +
                                            " in the open workbooks or the office's libraries");
    MarkOnExit mark{application, *target, std::nullopt};
    MarkMacroStarts(application);
    return InvokeNoted(application, *target, arguments, mark.seen, writes);
  });
}

void RunAutoMacro(CalcApplication& application, const std::shared_ptr<Document>& document,
                  const std::string& procedure) {
  document->Call(com::DISP_E_EXCEPTION, [&] {
    const std::vector<MacroEntry> macros = DocumentMacros(*document);
    const MacroEntry* entry = FindMacro(macros, MacroName{{}, {}, {}, procedure});
    if (entry == nullptr) return;  // a workbook without the macro: nothing to run
    const Target target{document, *entry};
    MarkOnExit mark{application, target, std::nullopt};
    MarkMacroStarts(application);
    InvokeNoted(application, target, {}, mark.seen);
  });
}

}  // namespace excel::calc
