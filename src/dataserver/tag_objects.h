// The objects that answer data-server tags: the case details, the next-event
// time, the worksheets with their cells, and the server options. Each lives
// for one request only; nothing is cached between calls.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dataserver/request.h"

namespace model {
class CExcModel;
}

namespace dataserver {

// The base of every tag object.
class CExtDataServerObject {
 public:
  virtual ~CExtDataServerObject() = default;
  virtual std::string GetName() const { return {}; }
  // True when the object took the request (a read's result is in
  // request.value); a refusal with a message sets request.error.
  virtual bool Process(DataServerRequest& request, model::CExcModel& model) = 0;
};

inline constexpr char kInvalidIndexMessage[] = "Attempting to remove an object at an invalid index";

// An owning list of tag objects addressed by its type name: Count, Add,
// Reset, Delete, then an element by position ([n]) or by name ([{name}]).
template <typename T>
class CExtDataServerObjectList {
 public:
  virtual ~CExtDataServerObjectList() = default;

  // Unless `skipName`: the next element must be `name`, or when that is
  // empty the list's type name.
  bool ProcessList(DataServerRequest& request, bool skipName, model::CExcModel& model,
                   std::string_view name);
  virtual bool Process(DataServerRequest& request, model::CExcModel& model) {
    return ProcessList(request, true, model, {});
  }
  virtual std::string_view GetTypeName() const = 0;

  void Append(std::unique_ptr<T> element) { elements_.push_back(std::move(element)); }
  std::size_t size() const { return elements_.size(); }
  T& At(std::size_t i) const { return *elements_[i]; }

 private:
  std::vector<std::unique_ptr<T>> elements_;
};

template <typename T>
bool CExtDataServerObjectList<T>::ProcessList(DataServerRequest& request, bool skipName,
                                              model::CExcModel& model, std::string_view name) {
  if (!skipName && !request.MatchElement(name.empty() ? GetTypeName() : name)) return false;
  if (request.MatchElement("$Count")) {
    if (!request.Writing()) request.value = std::to_string(elements_.size());
    return true;
  }
  if (request.Writing() && request.readOnlySeen == 0) {
    if (request.MatchElement("Add")) {
      elements_.push_back(std::make_unique<T>());
      return true;
    }
    if (request.MatchElement("Reset")) {
      elements_.clear();
      return true;
    }
  }
  if (request.Writing() && request.MatchElement("Delete")) {
    const std::int32_t index = ReadInteger(request.value);
    if (index < 0 || static_cast<std::size_t>(index) >= elements_.size()) {
      request.error = kInvalidIndexMessage;
      return false;
    }
    elements_.erase(elements_.begin() + index);
    return true;
  }
  if (const std::optional<std::size_t> position = request.ReadPositionIndex()) {
    return *position < elements_.size() && elements_[*position]->Process(request, model);
  }
  const std::optional<std::string> key = request.ReadKeyIndex();
  if (!key) return false;
  for (const std::unique_ptr<T>& element : elements_) {
    if (element->GetName() == *key) return element->Process(request, model);
  }
  return false;
}

// Cells of one worksheet by their texts: Content of "B4|B5" reads or writes
// both.
class CExcCellDataServer : public CExtDataServerObject {
 public:
  CExcCellDataServer() = default;
  CExcCellDataServer(std::string cells, std::string sheetName)
      : cells(std::move(cells)), sheetName(std::move(sheetName)) {}
  bool Process(DataServerRequest& request, model::CExcModel& model) override;

  std::string cells;
  std::string sheetName;
};

inline constexpr char kCellsByNumberMessage[] = "Cells can not be indexed by number";

// The cells of one worksheet, made on demand from the key: Cell[{A1|B2}].
class CExcCellDataServerList : public CExtDataServerObjectList<CExcCellDataServer> {
 public:
  explicit CExcCellDataServerList(std::string sheetName = {}) : sheetName(std::move(sheetName)) {}
  bool Process(DataServerRequest& request, model::CExcModel& model) override;
  std::string_view GetTypeName() const override { return "Cell"; }

  std::string sheetName;
};

class CExcSheetDataServer : public CExtDataServerObject {
 public:
  explicit CExcSheetDataServer(std::string name = {}) : name(name), cells(std::move(name)) {}
  std::string GetName() const override { return name; }
  // $SheetName, or on to the sheet's cells.
  bool Process(DataServerRequest& request, model::CExcModel& model) override;

  std::string name;
  CExcCellDataServerList cells;
};

// The worksheets of the model's cached list of names, in that order. Add,
// Reset and Delete change this list only, never the model or the workbook.
class CExcSheetDataServerList : public CExtDataServerObjectList<CExcSheetDataServer> {
 public:
  explicit CExcSheetDataServerList(const std::vector<std::string>& sheetNames);
  std::string_view GetTypeName() const override { return "Sheet"; }
};

// LockUpdate and IsAlive of the model's session; nothing without one.
class CExcServerOptions : public CExtDataServerObject {
 public:
  bool Process(DataServerRequest& request, model::CExcModel& model) override;
};

inline constexpr char kLockUpdateFailedMessage[] = "Call to LockUpdate failed (automation error)";

// The model's case details: file name, plug-ins, and each run-time event's
// macro and pass-date flag.
class CExcCaseDetailsDataServer : public CExtDataServerObject {
 public:
  bool Process(DataServerRequest& request, model::CExcModel& model) override;
};

// The model's next-event time: a number, or a date text on a write.
bool ProcessNextEvent(DataServerRequest& request, model::CExcModel& model);

// A written NextEvent is read as a date when, from its second character on,
// it holds exactly two "/" or exactly two "-".
bool LooksLikeDate(std::string_view value);

}  // namespace dataserver
