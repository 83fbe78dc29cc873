// The automation session: one spreadsheet application object, at most one
// open workbook and at most one current worksheet, behind the operations the
// rest of the driver calls.
//
// An operation that can fail with a message returns an outcome::Error (or
// an Expected) carrying it, cut as a field of kMessageSize bytes (the host's
// status text) would cut it. Starting a session gives the session or why it
// did not start.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "com/hresult.h"
#include "com/unknown.h"
#include "com/variants/variant.h"
#include "excel/object_model.h"
#include "outcome/outcome.h"
#include "text/message_format.h"

namespace automation {

// What every operation answers when there is no spreadsheet session.
inline constexpr char kNoConnectionMessage[] = "There is no connection to Excel";

using Message = std::span<char>;

// A message field as long as the host's status text, so that a message is
// cut where the host's field would cut it.
inline constexpr std::size_t kMessageSize = 260;

// An operation that prints its failure into a message field and answers
// 0/1, as an Error: the text it printed when it answered above 0.
template <typename Operation>
outcome::Error AsError(Operation&& operation) {
  std::array<char, kMessageSize> text{};
  if (operation(Message(text)) <= 0) return outcome::Error::Success();
  return outcome::Error::Failed(text.data());
}

// A failure whose message is cut as a field of kMessageSize bytes cuts it,
// so the host sees the text its status record would hold.
outcome::Error Failure(const char* fmt, ...) GM_PRINTF_FORMAT(1, 2);

// The other way round, for callers that answer 0/1 with a message field:
// prints a failure's text into `message` (cut to fit) and gives 1; gives 0
// for success and leaves the field alone.
int PrintFailure(const outcome::Error& error, Message message);

class CExcExcelObj;

// Whether the session's workbook can no longer be reached: its office has
// ended or a macro closed it.
bool WorkbookGone(CExcExcelObj& session);

// What to add to a failure's message in a command's own terms ("Unable to
// get worksheet %s"): ": " and the session's words when the workbook is
// gone, which no retry mends; nothing otherwise, the host's text standing
// alone as it always has.
std::string WordsIfWorkbookGone(CExcExcelObj& session, const std::string& why);

class CExcExcelObj {
 public:
  virtual ~CExcExcelObj() = default;
  CExcExcelObj(const CExcExcelObj&) = delete;
  CExcExcelObj& operator=(const CExcExcelObj&) = delete;

  // The virtual operations, in table order.
  virtual void SetVisible(bool visible) = 0;
  virtual outcome::Error NewWorkbook() = 0;
  virtual outcome::Error OpenWorkbookWithAddIns(const std::string& path,
                                                const std::vector<std::string>& addIns) = 0;
  virtual outcome::Error OpenWorkbook(const std::string& path) = 0;
  // The names of the workbook's sheets; fails when there are none or one is
  // not a worksheet.
  virtual outcome::Expected<std::vector<std::string>> GetSheetNames() = 0;
  virtual outcome::Error SaveWorkbook() = 0;
  virtual outcome::Error SaveWorkbookCopyAs(const std::string& path) = 0;
  // Closes the workbook without saving. False when one was open and the
  // application could not close it (its office gone, say).
  virtual bool CloseWorkbook() = 0;
  virtual void Quit() = 0;
  virtual outcome::Error SelectWorksheet(const std::string& name) = 0;
  virtual void ReleaseWorksheet() = 0;
  virtual void ReleaseWorkbook() = 0;
  virtual outcome::Error AddWorksheet(const std::string& name) = 0;
  virtual std::string GetWorksheetName() = 0;
  // Throws com::Error; with no current worksheet gives the empty text.
  virtual com::Variant GetCellValue(const std::string& address) = 0;
  // Throw com::Error; 1 (nothing done) with no current worksheet.
  virtual int SetCellValue(const std::string& address, const com::Variant& value) = 0;
  virtual int SetRangeValue(const std::string& first, const std::string& last,
                            const com::Variant& value) = 0;
  virtual int SetNumberFormat(const std::string& address, const com::Variant& format) = 0;
  virtual outcome::Error ActivateWorksheet(const std::string& name) = 0;
  virtual outcome::Error RunMacroIntText(const std::string& macro, std::int32_t value,
                                         const std::string& text) = 0;
  virtual outcome::Error RunMacroInt(const std::string& macro, std::int32_t value) = 0;
  virtual outcome::Error RunMacro(const std::string& macro) = 0;
  virtual int RunMacroArgs(const com::Variant& macro, const excel::RunArguments& arguments);
  // RunMacroInt, or RunMacroIntText when `text` is given, with the cells
  // written first in the same call to the application. None when they cannot
  // go with the macro: nothing ran, and the caller writes them (again).
  virtual std::optional<outcome::Error> RunMacroAfterWriting(
      std::span<const excel::CellWrite> writes, const std::string& macro, std::int32_t value,
      const std::string* text);
  // Throws com::Error.
  virtual bool IsUpdateLocked() = 0;
  // 0, or 1 when the application refused.
  virtual int LockUpdate(bool lock) = 0;
  virtual bool IsAlive() = 0;
  virtual bool HasWorkbook() = 0;
  // The open workbook without a reference added; null when none.
  virtual excel::Workbook* GetWorkbook() = 0;

  // The current worksheet without a reference added; null when none. Block
  // transfer (block_transfer.h) reaches its ranges through it.
  excel::Worksheet* CurrentWorksheet() const { return worksheet_.Get(); }

 protected:
  CExcExcelObj() = default;

  // Emptied in this order when a failed session is disposed of.
  com::Ptr<excel::Workbook> workbook_;
  com::Ptr<excel::Worksheet> worksheet_;
  com::Ptr<excel::Application> application_;
};

// The result of a start failure when no application answers to the ProgID
// at all, as opposed to one that is there but failed to start (kFailed).
inline constexpr std::int32_t kNotInstalled = 2;

// The operations common to every application version; the versions differ
// only in their ProgID and in which Workbooks.Open member they call.
class CExcExcelSession : public CExcExcelObj {
 public:
  void SetVisible(bool visible) override;
  outcome::Error NewWorkbook() override;
  outcome::Error OpenWorkbookWithAddIns(const std::string& path,
                                        const std::vector<std::string>& addIns) override;
  outcome::Error OpenWorkbook(const std::string& path) override;
  outcome::Expected<std::vector<std::string>> GetSheetNames() override;
  outcome::Error SaveWorkbook() override;
  outcome::Error SaveWorkbookCopyAs(const std::string& path) override;
  bool CloseWorkbook() override;
  void Quit() override;
  outcome::Error SelectWorksheet(const std::string& name) override;
  void ReleaseWorksheet() override;
  void ReleaseWorkbook() override;
  outcome::Error AddWorksheet(const std::string& name) override;
  std::string GetWorksheetName() override;
  com::Variant GetCellValue(const std::string& address) override;
  int SetCellValue(const std::string& address, const com::Variant& value) override;
  int SetRangeValue(const std::string& first, const std::string& last,
                    const com::Variant& value) override;
  int SetNumberFormat(const std::string& address, const com::Variant& format) override;
  outcome::Error ActivateWorksheet(const std::string& name) override;
  outcome::Error RunMacroIntText(const std::string& macro, std::int32_t value,
                                 const std::string& text) override;
  outcome::Error RunMacroInt(const std::string& macro, std::int32_t value) override;
  outcome::Error RunMacro(const std::string& macro) override;
  int RunMacroArgs(const com::Variant& macro, const excel::RunArguments& arguments) override;
  std::optional<outcome::Error> RunMacroAfterWriting(std::span<const excel::CellWrite> writes,
                                                     const std::string& macro, std::int32_t value,
                                                     const std::string* text) override;
  bool IsUpdateLocked() override;
  int LockUpdate(bool lock) override;
  bool IsAlive() override;
  bool HasWorkbook() override;
  excel::Workbook* GetWorkbook() override;

  // Creates the application of the session's ProgID and minimises it: the
  // session, or why it did not start (result kNotInstalled when nothing
  // answers to the ProgID). A session that did not start is emptied field by
  // field before it goes.
  static outcome::Expected<std::unique_ptr<CExcExcelObj>> Start(
      std::unique_ptr<CExcExcelSession> session);

 protected:
  CExcExcelSession(std::string progId, std::size_t openOptionalCount)
      : progId_(std::move(progId)), openOptionalCount_(openOptionalCount) {}

 private:
  outcome::Error StartApplication();
  com::Ptr<excel::Workbook> OpenFile(const std::string& path);
  void SetWorkbook(com::Ptr<excel::Workbook> workbook);
  com::Ptr<excel::Worksheet> WorksheetNamed(const std::string& name);
  outcome::Error RunWithArguments(const std::string& macro, excel::RunArguments arguments);

  std::string progId_;
  std::size_t openOptionalCount_;
};

// Versions 9 and 10 call the older Workbooks.Open; 11 to 16 the newer.
class CExcExcel9Obj final : public CExcExcelSession {
 public:
  CExcExcel9Obj();
};

class CExcExcel10Obj final : public CExcExcelSession {
 public:
  CExcExcel10Obj();
};

class CExcExcel11Obj final : public CExcExcelSession {
 public:
  explicit CExcExcel11Obj(int version);
};

// Tries versions 16 down to 11, then 10, then 9; the first that starts is
// returned. When none does, the message reads "Failed to create Excel
// application: %s" with the reason of the first version that is installed
// but failed to start (else the last attempt's).
outcome::Expected<std::unique_ptr<CExcExcelObj>> CreateExcelSession();

}  // namespace automation
