#include "support/recording_format.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

#include "com/hresult.h"

namespace test_support {

namespace {

template <typename Number>
std::string ShortestText(Number value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string HexCode(SCODE code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(code));
  return buffer;
}

std::string FormatElement(SAFEARRAY* array, std::int32_t* indices) {
  void* element = nullptr;
  if (SafeArrayPtrOfIndex(array, indices, &element) != com::S_OK || element == nullptr) return "?";
  return FormatValue(*static_cast<const VARIANT*>(element));
}

std::string FormatArray(const VARIANT& value) {
  std::string text = com::VarTypeName(value.vt);
  SAFEARRAY* array = value.parray;
  if (array == nullptr) return text + " null";
  const std::uint32_t dims = SafeArrayGetDim(array);
  std::int32_t low[2] = {0, 0};
  std::int32_t high[2] = {-1, -1};
  for (std::uint32_t dim = 1; dim <= dims; ++dim) {
    std::int32_t lower = 0, upper = -1;
    SafeArrayGetLBound(array, dim, &lower);
    SafeArrayGetUBound(array, dim, &upper);
    if (dim <= 2) low[dim - 1] = lower, high[dim - 1] = upper;
    text += (dim == 1 ? "(" : ", ") + std::to_string(lower) + ".." + std::to_string(upper);
  }
  text += ")";
  if (value.vt != (VT_ARRAY | VT_VARIANT) || dims < 1 || dims > 2) return text;
  std::int32_t indices[2] = {0, 0};
  const auto row = [&] {
    std::string elements = "{";
    for (indices[dims - 1] = low[dims - 1]; indices[dims - 1] <= high[dims - 1];
         ++indices[dims - 1]) {
      if (indices[dims - 1] != low[dims - 1]) elements += ", ";
      elements += FormatElement(array, indices);
    }
    return elements + "}";
  };
  if (dims == 1) return text + " " + row();
  text += " {";
  for (indices[0] = low[0]; indices[0] <= high[0]; ++indices[0]) {
    if (indices[0] != low[0]) text += ", ";
    text += row();
  }
  return text + "}";
}

}  // namespace

std::string FormatVariantBool(VARIANT_BOOL value) {
  if (value == VARIANT_TRUE) return "VARIANT_TRUE";
  if (value == VARIANT_FALSE) return "VARIANT_FALSE";
  return std::to_string(value);
}

std::string FormatValue(const VARIANT& value) {
  if (value.vt == VT_ERROR && value.scode == com::DISP_E_PARAMNOTFOUND) return "Missing";
  if (value.vt == (VT_BYREF | VT_VARIANT)) {
    return "VT_BYREF|VT_VARIANT -> " +
           (value.pvarVal == nullptr ? "null" : FormatValue(*value.pvarVal));
  }
  if ((value.vt & VT_ARRAY) != 0 && (value.vt & VT_BYREF) == 0) return FormatArray(value);
  const std::string type = com::VarTypeName(value.vt);
  switch (value.vt) {
    case VT_I1:
      return type + " " + std::to_string(value.cVal);
    case VT_UI1:
      return type + " " + std::to_string(value.bVal);
    case VT_I2:
      return type + " " + std::to_string(value.iVal);
    case VT_UI2:
      return type + " " + std::to_string(value.uiVal);
    case VT_I4:
    case VT_INT:
      return type + " " + std::to_string(value.lVal);
    case VT_UI4:
    case VT_UINT:
      return type + " " + std::to_string(value.ulVal);
    case VT_I8:
      return type + " " + std::to_string(value.llVal);
    case VT_UI8:
      return type + " " + std::to_string(value.ullVal);
    case VT_R4:
      return type + " " + ShortestText(value.fltVal);
    case VT_R8:
    case VT_DATE:
      return type + " " + ShortestText(value.dblVal);
    case VT_BOOL:
      if (value.boolVal == VARIANT_TRUE) return type + " true";
      if (value.boolVal == VARIANT_FALSE) return type + " false";
      return type + " " + std::to_string(value.boolVal);
    case VT_ERROR:
      return type + " " + HexCode(value.scode);
    case VT_BSTR:
      return type + " " + QuoteText(com::BstrToUtf8(value.bstrVal));
    default:
      return type;
  }
}

std::string FormatValueList(std::span<const com::Variant> values) {
  std::string text;
  for (std::size_t i = 0; i < values.size();) {
    if (!text.empty()) text += ", ";
    std::size_t run = 0;
    while (i + run < values.size() && values[i + run].IsMissing())
      ++run;
    if (run >= 2) {
      text += std::to_string(run) + " x Missing";
      i += run;
    } else {
      text += FormatValue(values[i]);
      ++i;
    }
  }
  return text;
}

std::string QuoteText(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '\\':
        quoted += "\\\\";
        break;
      case '"':
        quoted += "\\\"";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\x%02X", static_cast<unsigned char>(c));
          quoted += buffer;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

}  // namespace test_support
