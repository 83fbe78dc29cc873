// Finding the Basic modules of a workbook that do not compile, for the
// check: each module is compiled on its own in an office-wide library, so
// that the document's code never runs.
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/script/provider/XScript.hpp>

#include "excel/calc/basic/basic_procedures.h"
#include "excel/calc/basic/basic_source.h"
#include "excel/calc/calls/calc_objects.h"
#include "excel/calc/macros/script_provider.h"
#include "excel/errors.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

constexpr const char* kProbeModule = "Probe";
constexpr const char* kProbeFunction = "GridmoorCompiles";

// Whether `source` compiles as a Basic module: it goes, with a function that
// only answers 1, into a library of its own among the office's libraries,
// and the function is called; a module that does not compile answers
// nothing. Not among the document's: a call there compiles the document's
// other modules too, and any one of them that does not compile fails it.
bool Compiles(CalcApplication& application,
              const uno::Reference<css::script::XLibraryContainer>& libraries,
              const std::string& source) {
  const rtl::OUString library = rtl::OUString::createFromAscii(kProbeLibrary);
  if (libraries->hasByName(library)) libraries->removeLibrary(library);
  const uno::Reference<css::container::XNameContainer> modules = libraries->createLibrary(library);
  struct RemoveOnExit {
    const uno::Reference<css::script::XLibraryContainer>& libraries;
    const rtl::OUString& library;
    ~RemoveOnExit() {
      IgnoringFailures([&] { libraries->removeLibrary(library); });
    }
  } remove{libraries, library};
  modules->insertByName(rtl::OUString::createFromAscii(kProbeModule),
                        uno::Any(Utf8ToOUString(source + "\nFunction " + kProbeFunction + "()\n" +
                                                kProbeFunction + " = 1\nEnd Function\n")));
  const std::string uri = std::string("vnd.sun.star.script:") + kProbeLibrary + "." + kProbeModule +
                          "." + kProbeFunction + "?language=Basic&location=application";
  sal_Int32 answer = 0;
  try {
    uno::Sequence<sal_Int16> outIndices;
    uno::Sequence<uno::Any> outValues;
    const uno::Any result = ProviderFor(application, nullptr)
                                ->getScript(Utf8ToOUString(uri))
                                ->invoke({}, outIndices, outValues);
    result >>= answer;
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::Exception&) {
    return false;
  }
  return answer == 1;
}

}  // namespace

std::vector<CompileFailure> FindCompileFailures(CalcApplication& application,
                                                const std::shared_ptr<Document>& document) {
  return document->Call(kApplicationError, [&] {
    std::vector<CompileFailure> failures;
    OfficeSession& office = *application.Office();
    const uno::Reference<css::script::XLibraryContainer> probes = office.ApplicationLibraries();
    std::lock_guard basic(office.BasicMutex());
    const uno::Reference<css::script::XLibraryContainer> libraries = DocumentLibraries(*document);
    const uno::Reference<css::container::XNameAccess> names(libraries, uno::UNO_QUERY_THROW);
    for (const rtl::OUString& libraryName : names->getElementNames()) {
      uno::Reference<css::container::XNameAccess> modules;
      try {
        libraries->loadLibrary(libraryName);
        modules.set(names->getByName(libraryName), uno::UNO_QUERY_THROW);
      } catch (const css::lang::DisposedException&) {
        throw;
      } catch (const css::uno::Exception&) {
        continue;  // password protected or unreadable: nothing to compile
      }
      for (const rtl::OUString& moduleName : modules->getElementNames()) {
        const std::string source = ModuleSourceOf(modules, moduleName);
        if (IsGeneratedModule(source)) continue;
        if (Compiles(application, probes, source)) continue;
        CompileFailure failure{ToUtf8(libraryName), ToUtf8(moduleName), {}};
        // The procedures at fault, when the module's declarations alone compile.
        const std::vector<BasicProcedure> procedures =
            Compiles(application, probes, SourceWithOnlyProcedure(source, kDeclarationsOnly))
                ? FindBasicProcedures(source)
                : std::vector<BasicProcedure>();
        for (std::size_t i = 0; i < procedures.size(); ++i) {
          if (!Compiles(application, probes, SourceWithOnlyProcedure(source, i)))
            failure.procedures.push_back(procedures[i].name);
        }
        failures.push_back(std::move(failure));
      }
    }
    return failures;
  });
}

}  // namespace excel::calc
