#include "excel/calc/calls/uno_util.h"

#include <com/sun/star/lang/WrappedTargetException.hpp>
#include <com/sun/star/uno/TypeClass.hpp>

#include <limits>
#include <vector>

#include "com/variants/variant_grid.h"
#include "text/utf8.h"

namespace excel::calc {
namespace uno = css::uno;

rtl::OUString ToOUString(std::u16string_view text) {
  // Both are UTF-16 code units; sal_Unicode is a plain 16-bit integer.
  return rtl::OUString(reinterpret_cast<const sal_Unicode*>(text.data()),
                       static_cast<sal_Int32>(text.size()));
}

rtl::OUString Utf8ToOUString(std::string_view utf8) {
  return ToOUString(text::Utf8ToUtf16(utf8));
}

std::u16string ToU16(const rtl::OUString& value) {
  return std::u16string(reinterpret_cast<const char16_t*>(value.getStr()),
                        static_cast<std::size_t>(value.getLength()));
}

std::string ToUtf8(const rtl::OUString& value) {
  return text::Utf16ToUtf8(ToU16(value));
}

std::string ReasonOf(const uno::Any& failure) {
  uno::Any current = failure;
  // A wrapped failure is followed a few levels at most: when the wrapper
  // says nothing, the one inside usually does.
  for (int depth = 0; depth < 4; ++depth) {
    css::lang::WrappedTargetException wrapper;
    if (current >>= wrapper) {
      if (!wrapper.Message.isEmpty()) return ToUtf8(wrapper.Message);
      current = wrapper.TargetException;
      continue;
    }
    uno::Exception plain;
    if (current >>= plain) return ToUtf8(plain.Message);
    break;
  }
  return {};
}

std::string CaughtReason() {
  try {
    throw;
  } catch (const uno::Exception&) {
    return ReasonOf(cppu::getCaughtException());
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    // Neither a UNO nor a standard exception: there is no text to take.
    return {};
  }
}

rtl::OUString BstrToOUString(const com::Bstr& value) {
  return ToOUString(value.View());
}

uno::Sequence<css::beans::PropertyValue> Properties(
    std::initializer_list<std::pair<const char*, uno::Any>> entries) {
  uno::Sequence<css::beans::PropertyValue> properties(static_cast<sal_Int32>(entries.size()));
  css::beans::PropertyValue* out = properties.getArray();
  for (const auto& [name, value] : entries) {
    out->Name = rtl::OUString::createFromAscii(name);
    out->Value = value;
    ++out;
  }
  return properties;
}

namespace {

uno::Any GridToAny(const com::VariantGrid& grid) {
  uno::Sequence<uno::Sequence<uno::Any>> rows(static_cast<sal_Int32>(grid.Rows()));
  for (std::size_t r = 0; r < grid.Rows(); ++r) {
    uno::Sequence<uno::Any>& row = rows.getArray()[r];
    row.realloc(static_cast<sal_Int32>(grid.Columns()));
    for (std::size_t c = 0; c < grid.Columns(); ++c) {
      row.getArray()[c] = VariantToAny(grid.At(grid.FirstRow() + static_cast<std::int32_t>(r),
                                               grid.FirstColumn() + static_cast<std::int32_t>(c)));
    }
  }
  if (grid.Rows() == 1) return uno::Any(rows[0]);
  return uno::Any(rows);
}

template <typename T>
bool AppendItems(const uno::Any& value, std::vector<uno::Any>& items) {
  uno::Sequence<T> typed;
  if (!(value >>= typed)) return false;
  for (const T& item : typed)
    items.emplace_back(item);
  return true;
}

com::Variant SequenceToVariant(const std::vector<uno::Any>& items) {
  // A sequence of sequences is a block; a flat sequence one row.
  std::vector<std::vector<uno::Any>> rows;
  std::size_t columns = 0;
  for (const uno::Any& item : items) {
    std::optional<std::vector<uno::Any>> row = SequenceItems(item);
    if (!row) {
      rows.clear();
      break;
    }
    columns = std::max(columns, row->size());
    rows.push_back(std::move(*row));
  }
  if (rows.empty()) {
    com::VariantGrid grid(1, items.size());
    for (std::size_t c = 0; c < items.size(); ++c)
      grid.At(1, static_cast<std::int32_t>(c + 1)) = AnyToVariant(items[c]);
    return grid.ToVariant();
  }
  com::VariantGrid grid(rows.size(), columns);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      grid.At(static_cast<std::int32_t>(r + 1), static_cast<std::int32_t>(c + 1)) =
          AnyToVariant(rows[r][c]);
    }
  }
  return grid.ToVariant();
}

}  // namespace

std::optional<std::vector<uno::Any>> SequenceItems(const uno::Any& value) {
  if (value.getValueTypeClass() != uno::TypeClass_SEQUENCE) return std::nullopt;
  std::vector<uno::Any> items;
  if (AppendItems<uno::Any>(value, items) || AppendItems<sal_Int8>(value, items) ||
      AppendItems<sal_Int16>(value, items) || AppendItems<sal_Int32>(value, items) ||
      AppendItems<sal_Int64>(value, items) || AppendItems<double>(value, items) ||
      AppendItems<float>(value, items) || AppendItems<sal_Bool>(value, items) ||
      AppendItems<rtl::OUString>(value, items) ||
      AppendItems<uno::Sequence<uno::Any>>(value, items))
    return items;
  return std::vector<uno::Any>();
}

uno::Any VariantToAny(const com::VARIANT& value) {
  if ((value.vt & com::VT_BYREF) != 0) {
    if (value.byref == nullptr) com::Throw(com::DISP_E_TYPEMISMATCH);
    if (value.vt == (com::VT_BYREF | com::VT_VARIANT)) return VariantToAny(*value.pvarVal);
  }
  if ((value.vt & com::VT_ARRAY) != 0) return GridToAny(com::VariantGrid::FromVariant(value));
  switch (value.vt) {
    case com::VT_EMPTY:
    case com::VT_NULL:
      return uno::Any();
    case com::VT_I4:
    case com::VT_INT:
      return uno::Any(static_cast<sal_Int32>(value.lVal));
    case com::VT_I2:
      return uno::Any(static_cast<sal_Int16>(value.iVal));
    case com::VT_I1:
      return uno::Any(static_cast<sal_Int16>(value.cVal));
    case com::VT_UI1:
      return uno::Any(static_cast<sal_Int16>(value.bVal));
    case com::VT_UI2:
      return uno::Any(static_cast<sal_Int32>(value.uiVal));
    case com::VT_UI4:
    case com::VT_UINT:
      return uno::Any(static_cast<double>(value.ulVal));
    case com::VT_I8:
      return uno::Any(static_cast<sal_Int64>(value.llVal));
    case com::VT_UI8:
      return uno::Any(static_cast<double>(value.ullVal));
    case com::VT_R4:
      return uno::Any(static_cast<double>(value.fltVal));
    case com::VT_R8:
      return uno::Any(value.dblVal);
    case com::VT_DATE:
      return uno::Any(value.date);
    case com::VT_BOOL:
      return uno::Any(value.boolVal != com::VARIANT_FALSE);
    case com::VT_BSTR:
      return uno::Any(ToOUString(
          std::u16string_view(value.bstrVal == nullptr ? u"" : value.bstrVal,
                              value.bstrVal == nullptr ? 0 : GmSysStringLen(value.bstrVal))));
    case com::VT_ERROR:
      return uno::Any(static_cast<sal_Int32>(value.scode));
    default:
      com::Throw(com::DISP_E_TYPEMISMATCH);
  }
}

com::Variant AnyToVariant(const uno::Any& value) {
  switch (value.getValueTypeClass()) {
    case uno::TypeClass_BOOLEAN:
      return com::Variant::Bool(*static_cast<const sal_Bool*>(value.getValue()) != 0);
    case uno::TypeClass_BYTE:
    case uno::TypeClass_SHORT:
    case uno::TypeClass_UNSIGNED_SHORT:
    case uno::TypeClass_LONG: {
      sal_Int32 number = 0;
      value >>= number;
      return com::Variant::Int4(number);
    }
    case uno::TypeClass_UNSIGNED_LONG:
    case uno::TypeClass_HYPER: {
      sal_Int64 number = 0;
      value >>= number;
      if (number >= std::numeric_limits<std::int32_t>::min() &&
          number <= std::numeric_limits<std::int32_t>::max())
        return com::Variant::Int4(static_cast<std::int32_t>(number));
      return com::Variant::Double(static_cast<double>(number));
    }
    case uno::TypeClass_UNSIGNED_HYPER: {
      sal_uInt64 number = 0;
      value >>= number;
      return com::Variant::Double(static_cast<double>(number));
    }
    case uno::TypeClass_FLOAT:
    case uno::TypeClass_DOUBLE: {
      double number = 0;
      value >>= number;
      return com::Variant::Double(number);
    }
    case uno::TypeClass_STRING:
    case uno::TypeClass_CHAR: {
      rtl::OUString text;
      if (value.getValueTypeClass() == uno::TypeClass_CHAR) {
        text = rtl::OUString(*static_cast<const sal_Unicode*>(value.getValue()));
      } else {
        value >>= text;
      }
      return com::Variant::Text(std::u16string_view(ToU16(text)));
    }
    case uno::TypeClass_SEQUENCE:
      return SequenceToVariant(*SequenceItems(value));
    default:
      return com::Variant();
  }
}

}  // namespace excel::calc
