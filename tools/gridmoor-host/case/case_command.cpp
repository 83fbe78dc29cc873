#include "case/case_command.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "archive/json/case_json.h"
#include "case/case_check.h"
#include "common/csv.h"
#include "common/files.h"
#include "gridmoor/host.h"

namespace refhost {
namespace {

using nlohmann::json;

outcome::Error WriteBytes(const std::filesystem::path& file,
                          const std::vector<std::uint8_t>& bytes) {
  return WriteText(file,
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// "gridmoor-host: <message>" on one line of `err`; 1.
int Failed(std::ostream& err, const std::string& message) {
  err << "gridmoor-host: " << OneLine(message) << "\n";
  return 1;
}

}  // namespace

outcome::Expected<std::vector<std::uint8_t>> ReadBytes(const std::filesystem::path& file) {
  return ReadBoundedBytes(file, kCaseArchiveLimit);
}

int CaseDump(const std::filesystem::path& archive, std::ostream& out, std::ostream& err) {
  const outcome::Expected<std::vector<std::uint8_t>> bytes = ReadBytes(archive);
  if (!bytes) return Failed(err, bytes.GetError().Message());
  const outcome::Expected<json> decoded = archive::CaseArchiveToJson(*bytes);
  if (!decoded) return Failed(err, archive.string() + ": " + decoded.GetError().Message());
  out << decoded->dump(2) << "\n";
  return 0;
}

int CaseBuild(const std::filesystem::path& file, const std::filesystem::path& archive,
              std::ostream& err) {
  const outcome::Expected<std::string> text = ReadBoundedText(file, kTextFileLimit);
  if (!text) return Failed(err, text.GetError().Message());
  const outcome::Expected<json> document = ParseJsonText(*text);
  if (!document) return Failed(err, file.string() + ": " + document.GetError().Message());
  const outcome::Expected<std::vector<std::uint8_t>> built = archive::CaseJsonToArchive(*document);
  if (!built) return Failed(err, file.string() + ": " + built.GetError().Message());
  const std::vector<std::uint8_t>& bytes = *built;
  // Checked in the form the driver will read back.
  if (const outcome::Expected<json> decoded = archive::CaseArchiveToJson(bytes)) {
    const std::vector<std::string> problems = CaseItemProblems(*decoded);
    if (!problems.empty()) return Failed(err, file.string() + ": " + problems.front());
  }
  if (bytes.size() > EXT_CASE_DATA_ARCHIVE_CAPACITY)
    err << "gridmoor-host: warning: " << bytes.size()
        << " bytes do not fit the host's case-data record (" << EXT_CASE_DATA_ARCHIVE_CAPACITY
        << ")\n";
  if (const outcome::Error unwritten = WriteBytes(archive, bytes))
    return Failed(err, unwritten.Message());
  return 0;
}

std::vector<std::string> CaseProblems(const std::vector<std::uint8_t>& bytes, const json& decoded) {
  std::vector<std::string> problems = CaseItemProblems(decoded);
  if (bytes.size() > EXT_CASE_DATA_ARCHIVE_CAPACITY)
    problems.push_back(std::to_string(bytes.size()) +
                       " bytes do not fit the host's case-data "
                       "record of " +
                       std::to_string(EXT_CASE_DATA_ARCHIVE_CAPACITY) + " bytes");
  // Encoding the decoded case again must give the same bytes; an older
  // version comes back as the current one, which is expected.
  const outcome::Expected<std::vector<std::uint8_t>> encoded = archive::CaseJsonToArchive(decoded);
  if (!encoded) {
    problems.push_back("the decoded case does not encode again: " + encoded.GetError().Message());
    return problems;
  }
  const std::vector<std::uint8_t>& again = *encoded;
  if (again != bytes) {
    const bool current = decoded.contains("version") && decoded["version"].is_number() &&
                         decoded["version"].get<long>() == 40;
    if (current) {
      std::size_t at = 0;
      while (at < again.size() && at < bytes.size() && again[at] == bytes[at])
        ++at;
      problems.push_back(
          at == again.size() && at < bytes.size()
              ? std::to_string(bytes.size() - at) + " bytes after the end of the case record"
              : "encoding the decoded case differs from the archive at byte " + std::to_string(at));
    }
  }
  return problems;
}

namespace {

// What a check found: {"file", "size", "version", "counts": {list: n},
// "problems": [...], "ok"}.
json CheckFindings(const std::filesystem::path& archive, const std::vector<std::uint8_t>& bytes) {
  json found{{"file", archive.string()}, {"size", bytes.size()}, {"counts", json::object()}};
  const outcome::Expected<json> readCase = archive::CaseArchiveToJson(bytes);
  if (!readCase) {
    found["problems"] = json::array({readCase.GetError().Message()});
    found["ok"] = false;
    return found;
  }
  const json& decoded = *readCase;
  if (decoded.contains("version")) found["version"] = decoded["version"];
  for (const auto& item : decoded.items())
    if (item.value().is_array()) found["counts"][item.key()] = item.value().size();
  found["problems"] = CaseProblems(bytes, decoded);
  found["ok"] = found["problems"].empty();
  return found;
}

}  // namespace

int CaseCheck(const std::filesystem::path& archive, bool asJson, std::ostream& out,
              std::ostream& err) {
  const outcome::Expected<std::vector<std::uint8_t>> read = ReadBytes(archive);
  if (!read) return Failed(err, read.GetError().Message());
  const json found = CheckFindings(archive, *read);
  if (asJson) {
    out << found.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return found["ok"].get<bool>() ? 0 : 1;
  }
  out << archive.string() << ": " << read->size() << " bytes\n";
  if (found.contains("version")) out << "version: " << found["version"].dump() << "\n";
  for (const auto& [list, count] : found["counts"].items())
    out << list << ": " << count.dump() << "\n";
  for (const json& p : found["problems"])
    out << "problem: " << p.get<std::string>() << "\n";
  out << (found["ok"].get<bool>() ? "no problems found\n" : "");
  return found["ok"].get<bool>() ? 0 : 1;
}

}  // namespace refhost
