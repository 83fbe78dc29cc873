#include "driver/worksheet_functions.h"

#include <optional>
#include <span>
#include <string>

#include "automation/cell_address.h"
#include "automation/worksheet_functions.h"
#include "com/variants/variant_boundary.h"
#include "host/message.h"

namespace driver {
namespace {

// The caller's message buffer; a null one takes nothing.
automation::Message MessageOf(char* message) {
  if (message == nullptr) return {};
  return std::span<char>(message, EXT_FN_MESSAGE_SIZE);
}

// In-texts: a null pointer is the empty text. A text object is read through
// its first member, its text.
std::string TextOf(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

std::string TextOf(const ExtString* text) {
  return text != nullptr ? TextOf(text->text) : std::string();
}

// A write of a caller's value: checked and copied, then the caller's VARIANT
// is cleared, whatever follows.
template <typename Write>
std::int32_t WriteValue(GmVariant* value, char* message, Write write) {
  const std::string problem = com::CheckHostVariant(value);
  if (!problem.empty()) {
    if (value != nullptr) GmVariantClear(value);
    text::PrintMessage(message, EXT_FN_MESSAGE_SIZE, "%s", problem.c_str());
    return 1;
  }
  com::Variant copy;
  {
    // Cleared on every way out of the import, a throw included.
    const struct Clearing {
      GmVariant* value;
      ~Clearing() { GmVariantClear(value); }
    } clearing{value};
    copy = com::ImportHostVariant(*value);
  }
  return write(copy);
}

}  // namespace

FnSession FnCreate() {
  return automation::CreateFunctionSession();
}

std::int32_t FnDestroy(FnSession session) {
  return automation::DestroyFunctionSession(session);
}

std::int32_t FnNewFile(FnSession session, char* message) {
  return automation::FunctionNewFile(session, MessageOf(message));
}

std::int32_t FnOpenFile(FnSession session, const char* path, char* message) {
  return automation::FunctionOpenFile(session, TextOf(path), MessageOf(message));
}

std::int32_t FnCreateWorksheet(FnSession session, const ExtString* sheetName, char* message) {
  return automation::FunctionCreateWorksheet(session, TextOf(sheetName), MessageOf(message));
}

std::int32_t FnSelectWorksheet(FnSession session, const ExtString* sheetName, char* message) {
  return automation::FunctionSelectWorksheet(session, TextOf(sheetName), MessageOf(message));
}

std::int32_t FnGetCell(FnSession session, const char* sheetName, const char* cell, GmVariant* value,
                       char* message) {
  if (value == nullptr) {
    text::PrintMessage(message, EXT_FN_MESSAGE_SIZE, "%s", com::CheckHostVariant(nullptr).c_str());
    return 1;
  }
  GmVariantClear(value);
  com::Variant read;
  const int status = automation::FunctionGetCell(session, TextOf(sheetName), TextOf(cell), read,
                                                 MessageOf(message));
  if (status != 0) return status;
  // A value the caller could not take is a failed copy: 1, no message.
  if (!com::ExportHostVariant(read, value)) {
    text::PrintMessage(message, EXT_FN_MESSAGE_SIZE, "%s", "");
    return 1;
  }
  return 0;
}

std::int32_t FnSetCell(FnSession session, const char* sheetName, const char* cell, GmVariant* value,
                       char* message) {
  return WriteValue(value, message, [&](const com::Variant& copy) {
    return automation::FunctionSetCell(session, TextOf(sheetName), TextOf(cell), copy,
                                       MessageOf(message));
  });
}

std::int32_t FnPutNumberFormat(FnSession session, const char* sheetName, const ExtString* cell,
                               GmVariant* format, char* message) {
  return WriteValue(format, message, [&](const com::Variant& copy) {
    return automation::FunctionPutNumberFormat(session, TextOf(sheetName), TextOf(cell), copy,
                                               MessageOf(message));
  });
}

std::int32_t FnOffsetCell(const char* cell, ExtString* result, std::int32_t count,
                          std::int32_t byRow) {
  if (result == nullptr) return 1;
  const std::optional<std::string> stepped =
      automation::TryOffsetCell(TextOf(cell), count, byRow != 0);
  if (!stepped) return 1;
  return ExtStringSetLength(result, stepped->data(), stepped->size()) == 0 ? 0 : 1;
}

}  // namespace driver
