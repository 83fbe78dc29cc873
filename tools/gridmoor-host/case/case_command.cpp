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

bool WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes,
                std::string& error) {
  return WriteText(
      file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
}

}  // namespace

bool ReadBytes(const std::filesystem::path& file, std::vector<std::uint8_t>& bytes,
               std::string& error) {
  return ReadBounded(file, kCaseArchiveLimit, bytes, error);
}

int CaseDump(const std::filesystem::path& archive, std::ostream& out, std::ostream& err) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  json decoded;
  if (!ReadBytes(archive, bytes, error)) {
    err << "gridmoor-host: " << OneLine(error) << "\n";
    return 1;
  }
  if (!archive::CaseArchiveToJson(bytes, decoded, error)) {
    err << "gridmoor-host: " << OneLine(archive.string() + ": " + error) << "\n";
    return 1;
  }
  out << decoded.dump(2) << "\n";
  return 0;
}

int CaseBuild(const std::filesystem::path& file, const std::filesystem::path& archive,
              std::ostream& err) {
  std::string text, error;
  if (!ReadBounded(file, kTextFileLimit, text, error)) {
    err << "gridmoor-host: " << OneLine(error) << "\n";
    return 1;
  }
  json document;
  std::vector<std::uint8_t> bytes;
  if (!ParseJsonText(text, document, error) ||
      !archive::CaseJsonToArchive(document, bytes, error)) {
    err << "gridmoor-host: " << OneLine(file.string() + ": " + error) << "\n";
    return 1;
  }
  // Checked in the form the driver will read back.
  json decoded;
  if (archive::CaseArchiveToJson(bytes, decoded, error)) {
    const std::vector<std::string> problems = CaseItemProblems(decoded);
    if (!problems.empty()) {
      err << "gridmoor-host: " << OneLine(file.string() + ": " + problems.front()) << "\n";
      return 1;
    }
  }
  if (bytes.size() > EXT_CASE_DATA_ARCHIVE_CAPACITY)
    err << "gridmoor-host: warning: " << bytes.size()
        << " bytes do not fit the host's case-data record (" << EXT_CASE_DATA_ARCHIVE_CAPACITY
        << ")\n";
  if (!WriteBytes(archive, bytes, error)) {
    err << "gridmoor-host: " << OneLine(error) << "\n";
    return 1;
  }
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
  std::vector<std::uint8_t> again;
  std::string error;
  if (!archive::CaseJsonToArchive(decoded, again, error)) {
    problems.push_back("the decoded case does not encode again: " + error);
  } else if (again != bytes) {
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

int CaseCheck(const std::filesystem::path& archive, std::ostream& out, std::ostream& err) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!ReadBytes(archive, bytes, error)) {
    err << "gridmoor-host: " << OneLine(error) << "\n";
    return 1;
  }
  json decoded;
  out << archive.string() << ": " << bytes.size() << " bytes\n";
  if (!archive::CaseArchiveToJson(bytes, decoded, error)) {
    out << "problem: " << error << "\n";
    return 1;
  }
  if (decoded.contains("version")) out << "version: " << decoded["version"].dump() << "\n";
  for (const auto& item : decoded.items())
    if (item.value().is_array()) out << item.key() << ": " << item.value().size() << "\n";
  const std::vector<std::string> problems = CaseProblems(bytes, decoded);
  for (const std::string& p : problems)
    out << "problem: " << p << "\n";
  out << (problems.empty() ? "no problems found\n" : "");
  return problems.empty() ? 0 : 1;
}

}  // namespace refhost
