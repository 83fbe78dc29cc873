#include "dataserver/tag_objects.h"

#include <algorithm>
#include <optional>

#include "automation/cell_address.h"
#include "automation/cell_transfer.h"
#include "com/error.h"
#include "com/ole_date.h"
#include "model/model.h"
#include "model/run_events.h"
#include "text/ascii.h"
#include "text/number.h"

namespace dataserver {
namespace {

// The pieces of a "|"-separated text; runs of "|" count as one, and a "|"
// at either end separates nothing.
std::vector<std::string> Pieces(std::string_view text) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start < text.size()) {
    if (text[start] == '|') {
      ++start;
      continue;
    }
    const std::size_t end = std::min(text.find('|', start), text.size());
    pieces.emplace_back(text.substr(start, end - start));
    start = end;
  }
  return pieces;
}

bool TextProperty(DataServerRequest& request, std::string& field) {
  if (request.Writing()) {
    field = request.value;
  } else {
    request.value = field;
  }
  return true;
}

bool FlagProperty(DataServerRequest& request, bool& flag) {
  if (request.Writing()) {
    flag = ReadInteger(request.value) != 0;
  } else {
    request.value = flag ? "1" : "0";
  }
  return true;
}

}  // namespace

bool CExcCellDataServer::Process(DataServerRequest& request, model::CExcModel& model) {
  if (!request.MatchElement("Content")) return false;
  automation::CExcExcelObj* session = model.Session();
  const std::vector<std::string> cellPieces = Pieces(cells);
  if (!request.Writing()) {
    std::string result;
    for (const std::string& cell : cellPieces) {
      if (text::IsBlank(cell)) break;
      outcome::Expected<std::string> text = automation::ReadCellText(session, sheetName, cell);
      if (!text) {
        request.error = text.GetError().Message();
        return true;
      }
      // Leading empty cells leave no separators behind.
      if (!text::IsBlank(result)) result += '|';
      result += *text;
    }
    request.value = std::move(result);
    return true;
  }
  // A blank value piece ends the walk: a cell cannot be cleared here.
  const std::vector<std::string> valuePieces = Pieces(request.value);
  const std::size_t count = std::min(cellPieces.size(), valuePieces.size());
  for (std::size_t i = 0; i < count; ++i) {
    if (text::IsBlank(cellPieces[i]) || text::IsBlank(valuePieces[i])) break;
    if (const outcome::Error written =
            automation::WriteCellText(session, sheetName, cellPieces[i], valuePieces[i])) {
      request.error = written.Message();
      break;
    }
  }
  return true;
}

bool CExcCellDataServerList::Process(DataServerRequest& request, model::CExcModel& model) {
  if (!request.MatchElement(GetTypeName())) return false;
  if (request.ReadPositionIndex()) {
    request.error = kCellsByNumberMessage;
    return true;
  }
  const std::optional<std::string> key = request.ReadKeyIndex();
  if (!key) return false;
  CExcCellDataServer cell(*key, sheetName);
  return cell.Process(request, model);
}

bool CExcSheetDataServer::Process(DataServerRequest& request, model::CExcModel& model) {
  if (request.MatchElement("$SheetName")) {
    if (!request.Writing()) request.value = name;
    return true;
  }
  return cells.Process(request, model);
}

CExcSheetDataServerList::CExcSheetDataServerList(const std::vector<std::string>& sheetNames) {
  for (const std::string& name : sheetNames)
    Append(std::make_unique<CExcSheetDataServer>(name));
}

bool CExcServerOptions::Process(DataServerRequest& request, model::CExcModel& model) {
  if (!request.MatchElement("ServerOptions")) return false;
  automation::CExcExcelObj* session = model.Session();
  if (session == nullptr) return false;
  try {
    if (request.MatchElement("LockUpdate")) {
      if (!request.Writing()) {
        request.value = session->IsUpdateLocked() ? "1" : "0";
      } else if (session->LockUpdate(ReadInteger(request.value) >= 1) != 0) {
        request.error = kLockUpdateFailedMessage;
      }
      return true;
    }
    if (!request.Writing() && request.MatchElement("IsAlive")) {
      request.value = session->IsAlive() ? "1" : "0";
      return true;
    }
  } catch (const com::Error&) {
    // The application did not answer: the request fails without a message.
  }
  return false;
}

bool CExcCaseDetailsDataServer::Process(DataServerRequest& request, model::CExcModel& model) {
  if (!request.MatchElement("CaseDetails")) return false;
  casedata::CExcCaseDetails& details = model.caseDetails;
  if (request.MatchElement("FileName")) return TextProperty(request, details.fileName);
  if (request.MatchElement("PlugIns")) return TextProperty(request, details.plugIns);
  if (request.MatchElement("SharedPath")) {
    // Kept for hosts that still ask; the driver has no shared path.
    if (!request.Writing()) request.value.clear();
    return true;
  }
  const std::string name(request.NextName());
  const std::optional<model::EventKey> key = model::FindEventKey(name);
  if (!key || !request.MatchElement(name)) return false;
  if (key->setting == model::EventSetting::kMacro) {
    return TextProperty(request, details.macros[key->event]);
  }
  return FlagProperty(request, details.passDate[key->event]);
}

bool LooksLikeDate(std::string_view value) {
  if (value.empty()) return false;
  value.remove_prefix(1);
  return std::count(value.begin(), value.end(), '/') == 2 ||
         std::count(value.begin(), value.end(), '-') == 2;
}

bool ProcessNextEvent(DataServerRequest& request, model::CExcModel& model) {
  if (!request.MatchElement("NextEvent")) return false;
  if (!request.Writing()) {
    request.value = PrintNumber(model.nextEvent);
    return true;
  }
  if (!LooksLikeDate(request.value)) {
    model.nextEvent = text::ParseDouble(request.value);
    return true;
  }
  // A date that cannot be read leaves the time as it was.
  com::DATE date = 0.0;
  if (!com::ParseDateText(request.value, &date)) return false;
  model.nextEvent = date;
  return true;
}

}  // namespace dataserver
