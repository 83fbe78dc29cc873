// Values and dates as text, as the system words them in the en-US locale.
#include "com/variants/variant_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "com/error.h"
#include "com/ole_date.h"
#include "com/variants/variant.h"
#include "thrown_error.h"

namespace {

using com::Variant;

std::string TextOf(const com::VARIANT& value) {
  return com::VariantToText(value);
}

using com_test::Raw;

// Doubles keep fifteen significant digits, floats seven.
TEST(VariantText, EveryScalarType) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  // clang-format off
  const std::pair<double, const char*> doubles[] = {
      {2.0 / 3.0, "0.666666666666667"}, {-0.0, "0"}, {1e-5, "1E-05"}, {0.0001, "0.0001"},
      {1e15, "1E+15"}, {1e14, "100000000000000"},
      {std::numeric_limits<double>::max(), "1.79769313486232E+308"}, {kInfinity, "INF"},
      {-kInfinity, "-INF"}, {std::numeric_limits<double>::quiet_NaN(), "NAN"}};
  // clang-format on
  for (const auto& [number, text] : doubles)
    EXPECT_EQ(TextOf(Variant::Double(number)), text) << number;
  const struct {
    com::VARIANT value;
    const char* text;
  } cases[] = {
      {Raw(com::VT_R4, [](com::VARIANT& v) { v.fltVal = 1.0f / 3.0f; }), "0.3333333"},
      {Raw(com::VT_I2, [](com::VARIANT& v) { v.iVal = -32768; }), "-32768"},
      {Variant::Int4(INT32_MIN), "-2147483648"},
      {Variant::Int(42), "42"},
      {Raw(com::VT_I8, [](com::VARIANT& v) { v.llVal = INT64_MAX; }), "9223372036854775807"},
      {Raw(com::VT_UI8, [](com::VARIANT& v) { v.ullVal = UINT64_MAX; }), "18446744073709551615"},
      {Raw(com::VT_UI4, [](com::VARIANT& v) { v.ulVal = 4294967295u; }), "4294967295"},
      {Raw(com::VT_I1, [](com::VARIANT& v) { v.cVal = -5; }), "-5"},
      {Raw(com::VT_UI1, [](com::VARIANT& v) { v.bVal = 255; }), "255"},
      {Variant::Bool(true), "-1"},
      {Raw(com::VT_BOOL, [](com::VARIANT& v) { v.boolVal = 1; }), "-1"},  // any non-zero is true
      {Raw(com::VT_EMPTY), ""},
      {Raw(com::VT_BSTR), ""}};  // null BSTR; dates below
  for (const auto& c : cases)
    EXPECT_EQ(TextOf(c.value), c.text) << com::Describe(c.value);
  EXPECT_EQ(TextOf(Variant::Text("油井 Débit")), "油井 Débit");
}

TEST(VariantText, UnconvertibleValuesFail) {
  const struct {
    com::VARIANT value;
    com::HRESULT expected;
  } cases[] = {{Variant::ErrorValue(com::SHEET_E_APPLICATION_DEFINED), com::DISP_E_TYPEMISMATCH},
               {Variant::Missing(), com::DISP_E_TYPEMISMATCH},
               {Variant::Null(), com::DISP_E_TYPEMISMATCH},
               {Raw(com::VT_ARRAY | com::VT_VARIANT), com::DISP_E_TYPEMISMATCH},
               {Variant::Date(2958466), com::E_INVALIDARG},
               {Raw(0x7F), com::DISP_E_BADVARTYPE}};
  for (const auto& c : cases)
    EXPECT_EQ(com_test::FailureOf([&] { TextOf(c.value); }), c.expected) << c.value.vt;
}

TEST(VariantText, ReferencesConvertAsTheirTarget) {
  double number = 0.1;
  Variant target = Variant::Text("behind");
  com::BSTR text = GmSysAllocString(u"by ref");
  EXPECT_EQ(TextOf(Raw(com::VT_BYREF | com::VT_R8, [&](auto& v) { v.byref = &number; })), "0.1");
  EXPECT_EQ(TextOf(Raw(com::VT_BYREF | com::VT_VARIANT, [&](auto& v) { v.pvarVal = &target; })),
            "behind");
  EXPECT_EQ(TextOf(Raw(com::VT_BYREF | com::VT_BSTR, [&](auto& v) { v.byref = &text; })), "by ref");
  GmSysFreeString(text);
  EXPECT_THROW(TextOf(Raw(com::VT_BYREF | com::VT_I4)), com::Error);  // null reference
}

// A host may switch the C locale to one with a decimal comma; texts must not.
TEST(VariantText, IgnoresTheProcessLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "scripts/install-deps makes it";
  const std::string texts = TextOf(Variant::Double(1234567.25)) + " " +
                            TextOf(Variant::Double(1.5e-7)) + " " + TextOf(Variant::Date(45297.75));
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(texts, "1234567.25 1.5E-07 1/6/2024 6:00:00 PM");
}

using com::CivilDateTime;
using com::DateTextOptions;

constexpr double Seconds(int h, int m, double s) {
  return (h * 3600 + m * 60 + s) / 86400.0;
}

// Dates into days and times (only this direction is used; the texts' below).
TEST(OleDate, ToCivilDateAndTime) {
  // clang-format off
  const std::pair<double, CivilDateTime> cases[] = {
      {0, {1899, 12, 30, 0, 0, 0}}, {36585, {2000, 2, 29, 0, 0, 0}},
      {60, {1900, 2, 28, 0, 0, 0}}, {61, {1900, 3, 1, 0, 0, 0}},  // 1900 is no leap year here
      {-657434.5, {100, 1, 1, 12, 0, 0}}, {2958465.99999, {9999, 12, 31, 23, 59, 59}},
      // Before day 0 the fraction still counts forward from midnight.
      {-36522 - Seconds(18, 30, 0), {1800, 1, 1, 18, 30, 0}},
      // Times round to the nearest second, half a second before midnight
      // into the next day; -0.5 is the same moment as 0.5.
      {45297 + Seconds(15, 4, 5.4), {2024, 1, 6, 15, 4, 5}},
      {45297 + Seconds(15, 4, 5.6), {2024, 1, 6, 15, 4, 6}},
      {-1 - Seconds(23, 59, 59.6), {1899, 12, 30, 0, 0, 0}}, {-0.5, {1899, 12, 30, 12, 0, 0}}};
  // clang-format on
  for (const auto& [date, expected] : cases) {
    CivilDateTime civil;
    ASSERT_TRUE(com::OleDateToCivil(date, &civil)) << date;
    EXPECT_EQ(civil, expected) << date;
  }
  const double invalid[] = {-657435, 2958466,
                            2958465.999999,  // rounds past the last second
                            std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity()};
  for (const double date : invalid) {
    CivilDateTime civil;
    EXPECT_FALSE(com::OleDateToCivil(date, &civil)) << date;
  }
}

TEST(OleDateText, EnglishUnitedStatesFormAndInvalidDates) {
  // Day 0 is "no date": its time alone.
  // clang-format off
  const std::pair<double, const char*> cases[] = {
      {45297, "1/6/2024"}, {45297 + Seconds(15, 4, 5), "1/6/2024 3:04:05 PM"},
      {45297 + Seconds(0, 30, 0), "1/6/2024 12:30:00 AM"},
      {45297 + Seconds(12, 0, 1), "1/6/2024 12:00:01 PM"}, {-657434, "1/1/0100"},
      {45297 + Seconds(23, 59, 59.7), "1/7/2024"}, {0, "12:00:00 AM"}, {-0.25, "6:00:00 AM"},
      {-1.25, "12/29/1899 6:00:00 AM"}, {2958465 + Seconds(23, 59, 59), "12/31/9999 11:59:59 PM"}};
  // clang-format on
  for (const auto& [date, expected] : cases) {
    std::string text;
    EXPECT_EQ(com::DateToText(date, DateTextOptions{}, &text), com::S_OK) << date;
    EXPECT_EQ(text, expected) << date;
  }

  std::string text = "unchanged";
  EXPECT_EQ(com::DateToText(2958466, DateTextOptions{}, &text), com::E_INVALIDARG);
  EXPECT_EQ(text, "unchanged");
  DateTextOptions lenient;
  lenient.invalidAsText = true;
  for (const double date : {2958466.0, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(com::DateToText(date, lenient, &text), com::S_OK);
    EXPECT_EQ(text, "Invalid DateTime");
  }
}

// Date texts back into OLE dates: the M/D/YYYY DateToText writes, so a text
// handed out reads back as the same day, and ISO dates, each with a time.
TEST(OleDateText, ReadsTheDriversFormAndIsoDates) {
  struct Case {
    const char* text;
    std::optional<double> date;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"01/06/2024", 45297.0}, {"1/6/2024 3:04:05 PM", 45297.0 + Seconds(15, 4, 5)},
      {"1/6/2024 12:00:00 AM", 45297.0}, {" 2024-01-06 ", 45297.0}, {"2024-1-6 18:00", 45297.75},
      {"12/29/1899 6:00", -1.25},  // before day 0 the time still runs forward
      {"2/29/2024", 45351.0}, {"2/29/2023", std::nullopt}, {"1/6/24", std::nullopt},
      {"13/1/2024", std::nullopt}, {"1/6/2024 13:00 PM", std::nullopt},
      {"1/6/2024 3:4", std::nullopt}, {"1/6/0099", std::nullopt}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    com::DATE date = 7.0;
    EXPECT_EQ(com::ParseDateText(c.text, &date), c.date.has_value());
    EXPECT_DOUBLE_EQ(date, c.date.value_or(7.0));
  }
  // Every text DateToText writes reads back as its date, to the second.
  for (const double day : {45297.0, 45297.5, 1.0 + 1.0 / 86400, 2958465.0}) {
    com::DATE back = 0.0;
    ASSERT_TRUE(com::ParseDateText(com::FormatDate(day, {com::DatePart::kDateOnly}), &back));
    EXPECT_DOUBLE_EQ(back, std::floor(day));
    ASSERT_TRUE(com::ParseDateText(com::FormatDate(day), &back)) << com::FormatDate(day);
    EXPECT_NEAR(back, day, 1e-9);
  }
}

}  // namespace
