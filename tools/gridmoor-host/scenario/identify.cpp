#include "scenario/identify.h"

#include <cstdlib>
#include <cstring>
#include <ostream>

namespace refhost {
namespace {

std::uint32_t Word(const std::vector<unsigned char>& record, std::size_t offset) {
  std::uint32_t value = 0;
  if (offset + sizeof value <= record.size())
    std::memcpy(&value, record.data() + offset, sizeof value);
  return value;
}

std::string Text(const std::vector<unsigned char>& record, std::size_t offset, std::size_t size) {
  if (offset >= record.size()) return {};
  size = std::min(size, record.size() - offset);
  const char* begin = reinterpret_cast<const char*>(record.data() + offset);
  return std::string(begin, strnlen(begin, size));
}

std::string Env(const char* name, const char* otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::string(value) + " (" + name + ")" : otherwise;
}

}  // namespace

std::string DescribeIdentity(const std::vector<unsigned char>& r) {
  std::string out;
  out += "driver name:        " + Text(r, EXT_IDENTIFY_NAME_OFFSET, EXT_IDENTIFY_NAME_SIZE) + "\n";
  out += "description:        " +
         Text(r, EXT_IDENTIFY_DESCRIPTION_OFFSET, EXT_IDENTIFY_DESCRIPTION_SIZE) + "\n";
  out += "interface version:  " + std::to_string(Word(r, EXT_IDENTIFY_VERSION_OFFSET)) + "\n";
  std::uint64_t word264 = 0;
  if (r.size() >= EXT_IDENTIFY_WORD264_OFFSET + 8)
    std::memcpy(&word264, r.data() + EXT_IDENTIFY_WORD264_OFFSET, sizeof word264);
  char words[256];
  std::snprintf(words, sizeof words,
                "capability words:   @4=%u @264=%llu @272=%u @276=%u @1540=%u @1548=%u @1552=%u "
                "@1556=0x%08X @1688=%u @1696=%u\n",
                Word(r, EXT_IDENTIFY_WORD4_OFFSET), static_cast<unsigned long long>(word264),
                Word(r, EXT_IDENTIFY_WORD272_OFFSET), Word(r, EXT_IDENTIFY_WORD276_OFFSET),
                Word(r, EXT_IDENTIFY_WORD1540_OFFSET), Word(r, EXT_IDENTIFY_WORD1548_OFFSET),
                Word(r, EXT_IDENTIFY_WORD1552_OFFSET), Word(r, EXT_IDENTIFY_WORD1556_OFFSET),
                Word(r, EXT_IDENTIFY_WORD1688_OFFSET), Word(r, EXT_IDENTIFY_WORD1696_OFFSET));
  out += words;
  return out;
}

int Identify(Library& library, const std::string& libraryPath, const std::string& office,
             std::ostream& out, std::ostream& err) {
  std::vector<unsigned char> record(EXT_IDENTIFY_RECORD_MIN_SIZE, 0);
  const std::uint32_t version = EXT_INTERFACE_VERSION;
  std::memcpy(record.data(), &version, sizeof version);
  const Reply reply = library.Identify(record);
  out << "library:            " << libraryPath << "\n";
  const std::string release = library.Version();
  out << "library version:    "
      << (release.empty() ? "unknown (the library has no release note)" : release) << "\n";
  if (!reply.ok()) {
    err << "gridmoor-host: the library could not say what it is: " << reply.text << "\n";
    return 1;
  }
  out << DescribeIdentity(record);
  out << "settings file:      " << library.SettingsFile().string()
      << " (private to this run, in memory only; the user's own settings are not read)\n";
  out << "threaded mode:      " << (library.Direct() ? "no (direct mode)" : "yes") << "\n";
  out << "spreadsheet:        "
      << Env("GRIDMOOR_SPREADSHEET", "calc (Excel.Application.16 by default)") << "\n";
  out << "office program:     " << Env("GRIDMOOR_SOFFICE", "soffice from PATH or the usual places")
      << "\n";
  out << "office:             " << office << "\n";
  return 0;
}

}  // namespace refhost
