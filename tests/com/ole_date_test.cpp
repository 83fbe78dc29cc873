#include "com/ole_date.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "com/error.h"
#include "thrown_error.h"

namespace {

using com::CivilDateTime;
using com::DatePart;
using com::DateTextOptions;

constexpr double Seconds(int h, int m, double s) {
  return (h * 3600 + m * 60 + s) / 86400.0;
}

struct KnownDate {
  double date;
  CivilDateTime civil;
};

const KnownDate kKnownDates[] = {
    {0, {1899, 12, 30, 0, 0, 0}},
    {1, {1899, 12, 31, 0, 0, 0}},
    {2, {1900, 1, 1, 0, 0, 0}},
    {60, {1900, 2, 28, 0, 0, 0}},  // 1900 is no leap year here
    {61, {1900, 3, 1, 0, 0, 0}},
    {36526, {2000, 1, 1, 0, 0, 0}},
    {36585, {2000, 2, 29, 0, 0, 0}},
    {45292, {2024, 1, 1, 0, 0, 0}},
    {45297, {2024, 1, 6, 0, 0, 0}},
    {45297 + Seconds(15, 4, 5), {2024, 1, 6, 15, 4, 5}},
    {45297.5, {2024, 1, 6, 12, 0, 0}},
    {2958465, {9999, 12, 31, 0, 0, 0}},
    {2958465 + Seconds(23, 59, 59), {9999, 12, 31, 23, 59, 59}},
    {-657434, {100, 1, 1, 0, 0, 0}},
    {-1, {1899, 12, 29, 0, 0, 0}},
    // Before day 0 the fraction still counts forward from midnight.
    {-1.25, {1899, 12, 29, 6, 0, 0}},
    {-36522, {1800, 1, 1, 0, 0, 0}},
    {-36522 - Seconds(18, 30, 0), {1800, 1, 1, 18, 30, 0}},
    {0.75, {1899, 12, 30, 18, 0, 0}},
};

TEST(OleDate, KnownDatesToCivil) {
  for (const KnownDate& known : kKnownDates) {
    CivilDateTime civil;
    ASSERT_TRUE(com::OleDateToCivil(known.date, &civil)) << known.date;
    EXPECT_EQ(civil, known.civil) << known.date;
  }
  // Times round to the nearest second, half a second before midnight into
  // the next day; -0.5 is the same moment as 0.5.
  const KnownDate oneWay[] = {
      {45297 + Seconds(15, 4, 5.4), {2024, 1, 6, 15, 4, 5}},
      {45297 + Seconds(15, 4, 5.6), {2024, 1, 6, 15, 4, 6}},
      {45297 + Seconds(23, 59, 59.6), {2024, 1, 7, 0, 0, 0}},
      {-1 - Seconds(23, 59, 59.6), {1899, 12, 30, 0, 0, 0}},
      {-0.5, {1899, 12, 30, 12, 0, 0}},
  };
  for (const KnownDate& known : oneWay) {
    CivilDateTime civil;
    ASSERT_TRUE(com::OleDateToCivil(known.date, &civil)) << known.date;
    EXPECT_EQ(civil, known.civil) << known.date;
  }
}

TEST(OleDate, CivilToKnownDates) {
  for (const KnownDate& known : kKnownDates) {
    double date = 0;
    ASSERT_TRUE(com::CivilToOleDate(known.civil, &date)) << known.date;
    EXPECT_NEAR(date, known.date, 1e-9) << known.date;
  }
}

TEST(OleDate, OutsideTheValidRange) {
  const double invalid[] = {-657435,
                            2958466,
                            2958465.999999,  // rounds past the last second
                            1e300,
                            std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity()};
  for (const double date : invalid) {
    CivilDateTime civil;
    EXPECT_FALSE(com::OleDateToCivil(date, &civil)) << date;
  }
  CivilDateTime civil;
  EXPECT_TRUE(com::OleDateToCivil(2958465.99999, &civil));
  EXPECT_TRUE(com::OleDateToCivil(-657434.5, &civil));

  const CivilDateTime refused[] = {
      {1900, 2, 29, 0, 0, 0}, {2023, 2, 29, 0, 0, 0}, {2024, 13, 1, 0, 0, 0},
      {2024, 4, 31, 0, 0, 0}, {99, 12, 31, 0, 0, 0},  {10000, 1, 1, 0, 0, 0},
      {2024, 1, 1, 24, 0, 0}, {2024, 1, 1, 0, 60, 0}, {2024, 1, 0, 0, 0, 0},
  };
  for (const CivilDateTime& c : refused) {
    double date = 123;
    EXPECT_FALSE(com::CivilToOleDate(c, &date)) << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(OleDateText, EnglishUnitedStatesForm) {
  const struct {
    double date;
    DatePart part;
    const char* text;
  } cases[] = {
      {45297, DatePart::kAuto, "1/6/2024"},
      {45297 + Seconds(15, 4, 5), DatePart::kAuto, "1/6/2024 3:04:05 PM"},
      {45297 + Seconds(0, 30, 0), DatePart::kAuto, "1/6/2024 12:30:00 AM"},
      {45297 + Seconds(12, 0, 1), DatePart::kAuto, "1/6/2024 12:00:01 PM"},
      {45297 + Seconds(23, 59, 59), DatePart::kAuto, "1/6/2024 11:59:59 PM"},
      {45297 + Seconds(9, 5, 0.2), DatePart::kAuto, "1/6/2024 9:05:00 AM"},
      {45297 + Seconds(23, 59, 59.7), DatePart::kAuto, "1/7/2024"},
      {36891, DatePart::kAuto, "12/31/2000"},
      {1, DatePart::kAuto, "12/31/1899"},
      // Day 0 is "no date": its time alone, unless the date is asked for.
      {0, DatePart::kAuto, "12:00:00 AM"},
      {0.5, DatePart::kAuto, "12:00:00 PM"},
      {-0.25, DatePart::kAuto, "6:00:00 AM"},
      {0, DatePart::kDateOnly, "12/30/1899"},
      {45297 + Seconds(15, 4, 5), DatePart::kDateOnly, "1/6/2024"},
      {45297 + Seconds(15, 4, 5), DatePart::kTimeOnly, "3:04:05 PM"},
      {45297, DatePart::kTimeOnly, "12:00:00 AM"},
      {-1.25, DatePart::kAuto, "12/29/1899 6:00:00 AM"},
      {-657434, DatePart::kAuto, "1/1/0100"},
      {2958465 + Seconds(23, 59, 59), DatePart::kAuto, "12/31/9999 11:59:59 PM"},
  };
  for (const auto& c : cases) {
    DateTextOptions options;
    options.part = c.part;
    EXPECT_EQ(com::FormatDate(c.date, options), c.text) << c.date;
  }
}

TEST(OleDateText, NullAndInvalidDatesAsTheCallerAsks) {
  DateTextOptions nullable;
  nullable.zeroIsNull = true;
  EXPECT_EQ(com::FormatDate(0, nullable), "");
  EXPECT_EQ(com::FormatDate(1, nullable), "12/31/1899");
  EXPECT_EQ(com::FormatDate(0.5, nullable), "12:00:00 PM");

  std::string text = "unchanged";
  EXPECT_EQ(com::DateToText(2958466, DateTextOptions{}, &text), com::E_INVALIDARG);
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(com_test::ThrownCode([] { com::FormatDate(-657435); }), com::E_INVALIDARG);

  DateTextOptions lenient;
  lenient.invalidAsText = true;
  EXPECT_EQ(com::FormatDate(2958466, lenient), "Invalid DateTime");
  EXPECT_EQ(com::FormatDate(std::numeric_limits<double>::quiet_NaN(), lenient), "Invalid DateTime");
  EXPECT_EQ(com::FormatDate(45297, lenient), "1/6/2024");
}

}  // namespace
