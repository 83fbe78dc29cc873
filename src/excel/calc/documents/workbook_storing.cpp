#include "excel/calc/documents/workbook_storing.h"

#include <fcntl.h>
#include <unistd.h>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "excel/calc/documents/formula_rewrites.h"
#include "excel/calc/packages/file_filters.h"
#include "excel/calc/process/office_launcher.h"
#include "excel/calc/process/office_leftovers.h"
#include "excel/calc/process/office_profile.h"
#include "excel/calc/process/office_program.h"
#include "excel/errors.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

rtl::OUString FilterOf(const uno::Reference<css::frame::XModel>& model) {
  for (const css::beans::PropertyValue& argument : model->getArgs()) {
    rtl::OUString filter;
    if (argument.Name == "FilterName" && (argument.Value >>= filter)) return filter;
  }
  return rtl::OUString();
}

// Refuses a file that cannot be written, with the system's reason, before
// the office tries: the office ends itself on some of them (a folder that
// is a file), taking every open workbook with it.
void CheckWritable(const std::string& path) {
  const bool existed = ::access(path.c_str(), F_OK) == 0;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0 && errno == ENOSPC)
    com::Throw(kApplicationError, DiskFullText(path + " could not be saved"));
  if (fd < 0) com::Throw(kApplicationError, "Cannot write " + path + ": " + std::strerror(errno));
  ::close(fd);
  if (!existed) ::unlink(path.c_str());
}

// Text formats hold one sheet: the office writes the active sheet and
// drops every other one without a word.
bool HoldsOneSheet(const rtl::OUString& filter) {
  return filter.startsWith("Text - txt - csv") || filter == "DIF" || filter == "SYLK" ||
         filter == "dBase";
}

// Refuses a save into a one-sheet format that would lose sheets: a CSV
// workbook that a sheet was added to would have its rows replaced by the
// active sheet, and a copy of a workbook of several sheets would keep one.
void RefuseDroppingSheets(Document& document, const rtl::OUString& filter,
                          const std::string& path) {
  if (!HoldsOneSheet(filter)) return;
  const uno::Sequence<rtl::OUString> names = document.spreadsheet->getSheets()->getElementNames();
  if (names.getLength() <= 1) return;
  std::string listed;
  for (const rtl::OUString& name : names)
    listed += (listed.empty() ? "" : ", ") + ToUtf8(name);
  com::Throw(kApplicationError, "saving " + path +
                                    " is refused: the format holds one sheet, and the workbook "
                                    "has " +
                                    std::to_string(names.getLength()) + " (" + listed +
                                    "); the others would be lost");
}

// True for the office's reason for a full disk: its input/output error code
// for it, 0x909, at the end ("SfxBaseModel::storeSelf: 0x909").
bool SaysOutOfSpace(std::string_view reason) {
  constexpr std::string_view kCode = "0x909";
  const std::size_t at = reason.rfind(kCode);
  if (at == std::string_view::npos) return false;
  const std::size_t after = at + kCode.size();
  return after == reason.size() || !std::isxdigit(static_cast<unsigned char>(reason[after]));
}

// Free space below which a failed save is put down to a full disk.
constexpr std::uintmax_t kSaveSpace = 1u << 20;

// Runs the office's `store` of `path`: a full disk fails it as a full disk,
// naming the file, not as the office's code; the office may also end
// itself on one (RPC_E_DISCONNECTED, which stays the code).
template <typename Body>
void Storing(Document& document, const std::string& path, Body&& store) {
  try {
    document.Call(kApplicationError, std::forward<Body>(store));
  } catch (const com::Error& error) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    // An office that ended while saving leaves its temporary file.
    RemoveOfficeTempFilesIn(folder, StartedOffices());
    const std::string full = DiskFullText(path + " could not be saved");
    if (error.hr() == kApplicationError &&
        (SaysOutOfSpace(error.ErrorMessage()) || DiskNearlyFull(folder, kSaveSpace)))
      com::Throw(kApplicationError, full);
    if (error.hr() == com::RPC_E_DISCONNECTED && DiskNearlyFull(folder, kSaveSpace))
      com::Throw(com::RPC_E_DISCONNECTED, full + ", and the office ended while saving it");
    throw;
  }
}

// A workbook opened read-only is never written over, by any name of its file.
void RefuseHeldFile(Document& document, const std::string& path) {
  std::string opened;
  {
    std::lock_guard lock(document.mutex);
    if (document.holder.empty()) return;
    opened = document.path;
  }
  std::error_code error;
  if (path == opened || std::filesystem::equivalent(path, opened, error))
    com::Throw(kApplicationError, std::filesystem::path(opened).filename().string() +
                                      " is open read-only: it is in use by " + document.holder);
}

// What the office reported of this store (a macro's store seen meanwhile
// included) is written without the driver's Basic.
void StoredWithoutOurBasic(Document& document) {
  std::lock_guard lock(document.mutex);
  document.storedWithOurBasic = false;
}

}  // namespace

void StoreTo(Document& document, const std::string& path, bool keepLocation) {
  RefuseHeldFile(document, path);
  CheckWritable(path);
  const std::optional<std::string> byExtension = SaveFilterForPath(path);
  Storing(document, path, [&] {
    rtl::OUString filter = byExtension ? Utf8ToOUString(*byExtension) : FilterOf(document.model);
    if (filter.isEmpty()) filter = "Calc MS Excel 2007 XML";
    RefuseDroppingSheets(document, filter, path);
    RemoveWrappers(document);
    const FileFormulasForStore fileFormulas(document);
    uno::Sequence<css::beans::PropertyValue> arguments =
        Properties({{"FilterName", uno::Any(filter)}, {"Overwrite", uno::Any(true)}});
    if (filter == "Text - txt - csv (StarCalc)") {
      arguments.realloc(3);
      arguments.getArray()[2].Name = "FilterOptions";
      arguments.getArray()[2].Value <<= rtl::OUString("44,34,76,1");
    }
    const uno::Reference<css::frame::XStorable> storable(document.component, uno::UNO_QUERY_THROW);
    const rtl::OUString url = Utf8ToOUString(FileUrlFromPath(path));
    if (keepLocation) {
      storable->storeToURL(url, arguments);
    } else {
      storable->storeAsURL(url, arguments);
    }
  });
  StoredWithoutOurBasic(document);
}

void StoreInPlace(Document& document, const std::string& path) {
  RefuseHeldFile(document, path);
  Storing(document, path, [&] {
    RefuseDroppingSheets(document, FilterOf(document.model), path);
    RemoveWrappers(document);
    const FileFormulasForStore fileFormulas(document);
    const uno::Reference<css::frame::XStorable> storable(document.component, uno::UNO_QUERY_THROW);
    storable->store();
  });
  StoredWithoutOurBasic(document);
}

}  // namespace excel::calc
