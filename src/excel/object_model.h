// The spreadsheet application's object model as the driver sees it: exactly
// the members the driver calls, with the argument and VARIANT types the
// automation interfaces use. Every failure is a com::Error carrying an
// HRESULT; objects are reference counted and held in com::Ptr handles.
//
// `lcid` is the locale argument the members take; the driver always passes 0.
// An optional argument that is left out is com::Variant::Missing().
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "com/unknown.h"
#include "com/variants/bstr.h"
#include "com/variants/variant.h"

namespace excel {

class Application;
class Workbooks;
class Workbook;
class Sheets;
class Worksheet;
class Range;

// Dispatch identifiers of the Range members reached through Invoke.
inline constexpr std::int32_t kDispidValue2 = 0x56C;
inline constexpr std::int32_t kDispidNumberFormat = 0xC1;

// IDispatch::Invoke flags.
enum class InvokeKind : std::uint16_t {
  kMethod = 1,
  kPropertyGet = 2,
  kPropertyPut = 4,
};

// XlWindowState.
inline constexpr std::int32_t kWindowMaximized = -4137;
inline constexpr std::int32_t kWindowMinimized = -4140;
inline constexpr std::int32_t kWindowNormal = -4143;

// XlRunAutoMacro.
inline constexpr std::int32_t kAutoOpen = 1;
inline constexpr std::int32_t kAutoClose = 2;

// Application.Run takes the macro and exactly this many further arguments.
inline constexpr std::size_t kRunArgumentCount = 30;
using RunArguments = std::array<com::Variant, kRunArgumentCount>;

// Workbooks.Open: after Filename, the 12 optional arguments of the older
// member (UpdateLinks ... AddToMru) or the 14 of the newer one (... Local,
// CorruptLoad). The count tells which member is called.
inline constexpr std::size_t kOpenOptionalCountOld = 12;
inline constexpr std::size_t kOpenOptionalCountNew = 14;

// A number for one cell of a worksheet (0-based column and row), written
// ahead of a macro (Application::RunAfterWriting).
struct CellWrite {
  std::string worksheet;
  std::int32_t column = 0;
  std::int32_t row = 0;
  double value = 0;
};

class Application : public virtual com::Unknown {
 public:
  virtual void PutWindowState(std::int32_t lcid, std::int32_t state) = 0;
  virtual std::int32_t GetWindowState(std::int32_t lcid) = 0;
  virtual void PutVisible(std::int32_t lcid, com::VARIANT_BOOL visible) = 0;
  virtual com::VARIANT_BOOL GetVisible(std::int32_t lcid) = 0;
  virtual void PutScreenUpdating(std::int32_t lcid, com::VARIANT_BOOL updating) = 0;
  virtual com::VARIANT_BOOL GetScreenUpdating(std::int32_t lcid) = 0;
  virtual void PutInteractive(std::int32_t lcid, com::VARIANT_BOOL interactive) = 0;
  virtual com::VARIANT_BOOL GetInteractive(std::int32_t lcid) = 0;
  virtual com::Ptr<Workbooks> GetWorkbooks() = 0;
  // Runs a macro of the open workbooks or of the application; arguments that
  // are Missing are not passed. The macro's result comes back.
  virtual com::Variant Run(const com::Variant& macro, const RunArguments& arguments) = 0;
  // Run, with the cells written first, in order, in the same call to the
  // application. None when the application cannot carry them with this
  // macro, or one of them could not be written: then the macro did not run,
  // and the caller writes the cells itself (again, for those written) and
  // calls Run. An application without the means carries nothing.
  virtual std::optional<com::Variant> RunAfterWriting(std::span<const CellWrite> /*writes*/,
                                                      const com::Variant& /*macro*/,
                                                      const RunArguments& /*arguments*/) {
    return std::nullopt;
  }
  virtual void Quit() = 0;
};

class Workbooks : public virtual com::Unknown {
 public:
  virtual com::Ptr<Workbook> Add(const com::Variant& templateFile, std::int32_t lcid) = 0;
  // `optional` holds kOpenOptionalCountOld or kOpenOptionalCountNew values;
  // any other count fails with DISP_E_BADPARAMCOUNT.
  virtual com::Ptr<Workbook> Open(const com::Bstr& filename, std::span<const com::Variant> optional,
                                  std::int32_t lcid) = 0;
};

class Workbook : public virtual com::Unknown {
 public:
  virtual void Activate(std::int32_t lcid) = 0;
  virtual void Close(const com::Variant& saveChanges, const com::Variant& filename,
                     const com::Variant& routeWorkbook, std::int32_t lcid) = 0;
  virtual void Save(std::int32_t lcid) = 0;
  virtual void SaveCopyAs(const com::Variant& filename, std::int32_t lcid) = 0;
  virtual void RunAutoMacros(std::int32_t which, std::int32_t lcid) = 0;
  // Every sheet of the workbook (worksheets and others, such as charts).
  virtual com::Ptr<Sheets> GetSheets() = 0;
  // The worksheets only.
  virtual com::Ptr<Sheets> GetWorksheets() = 0;
  virtual com::Ptr<Application> GetApplication() = 0;
};

class Sheets : public virtual com::Unknown {
 public:
  virtual std::int32_t GetCount() = 0;
  // By 1-based position (VT_I4 or VT_INT) or by name (VT_BSTR). The item may
  // be a sheet that is not a worksheet: query it for Worksheet.
  virtual com::Ptr<com::Unknown> GetItem(const com::Variant& index) = 0;
  virtual com::Ptr<com::Unknown> Add(const com::Variant& before, const com::Variant& after,
                                     const com::Variant& count, const com::Variant& type,
                                     std::int32_t lcid) = 0;
  // Every sheet's name in order, in one call to the application; none when
  // it has no such call (then each item is asked for its name).
  virtual std::optional<std::vector<com::Bstr>> Names() { return std::nullopt; }
};

class Worksheet : public virtual com::Unknown {
 public:
  virtual com::Bstr GetName() = 0;
  virtual void PutName(const com::Bstr& name) = 0;
  virtual void Activate(std::int32_t lcid) = 0;
  // Cell1 and Cell2 are address texts (VT_BSTR); Cell2 Missing for one cell
  // or a named range.
  virtual com::Ptr<Range> GetRange(const com::Variant& cell1, const com::Variant& cell2) = 0;
};

// A sheet that is not a worksheet (a chart sheet): it has a name but no cells.
class Chart : public virtual com::Unknown {
 public:
  virtual com::Bstr GetName() = 0;
};

class Range : public virtual com::Unknown {
 public:
  // IDispatch::Invoke by dispatch identifier: kDispidValue2 get (no
  // arguments) and put (one argument), kDispidNumberFormat put (one
  // argument). An unknown identifier fails with DISP_E_MEMBERNOTFOUND, a
  // wrong argument count with DISP_E_BADPARAMCOUNT. A put returns VT_EMPTY.
  virtual com::Variant Invoke(std::int32_t dispid, InvokeKind kind,
                              std::span<const com::Variant> arguments) = 0;
};

}  // namespace excel
