#include "com/error_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "com/error.h"
#include "thrown_error.h"

namespace {

TEST(ComErrorText, SystemTextsLoseTheirLineEndAndOtherCodesFollowTheFallbackRules) {
  EXPECT_EQ(com::SystemMessageText(com::E_FAIL), "Unspecified error\r\n");
  EXPECT_TRUE(com::SystemMessageText(com::SHEET_E_APPLICATION_DEFINED).empty());
  const struct {
    std::uint32_t code;
    const char* text;
  } cases[] = {{0x80004005u, "Unspecified error"},
               {0x80020009u, "Exception occurred."},
               {0x80040201u, "IDispatch error #1"},
               {0x8004FFFFu, "IDispatch error #65023"},
               // The first code of the dispatch range has dispatch number 0, which
               // reads as unknown.
               {0x80040200u, "Unknown error 0x80040200"},
               {0x800401FFu, "Unknown error 0x800401FF"},
               {0x80050000u, "Unknown error 0x80050000"},
               {0x800A03ECu, "Unknown error 0x800A03EC"},
               {0x00001234u, "Unknown error 0x1234"}};
  for (const auto& c : cases)
    EXPECT_EQ(com::ComErrorText(static_cast<HRESULT>(c.code)), c.text) << std::hex << c.code;
}

TEST(ComErrorText, TrimRemovesOneLineFeedThenOneCarriageReturn) {
  const std::pair<std::string, std::string> cases[] = {{"text\r\n", "text"},
                                                       {"text\n", "text"},
                                                       {"text\r", "text\r"},
                                                       {"text\r\n\r\n", "text\r\n"},

                                                       {"\r\n", ""},
                                                       {"\n", "\n"},
                                                       {"", ""}};
  for (const auto& [in, out] : cases)
    EXPECT_EQ(com::TrimMessageLineEnd(in), out);
}

TEST(ComError, CarriesCodeAndText) {
  const com::Error error(com::DISP_E_EXCEPTION);
  EXPECT_EQ(error.hr(), com::DISP_E_EXCEPTION);
  EXPECT_EQ(error.ErrorMessage(), "Exception occurred.");
  EXPECT_STREQ(error.what(), "Exception occurred.");

  EXPECT_EQ(com::ThrowIfFailed(com::S_FALSE), com::S_FALSE);
  EXPECT_EQ(com_test::FailureOf([] { com::ThrowIfFailed(com::SHEET_E_APPLICATION_DEFINED); }),
            com::SHEET_E_APPLICATION_DEFINED);
  EXPECT_EQ(com_test::FailureOf([] { com::Throw(com::E_POINTER); }), com::E_POINTER);
}

TEST(ComError, TheApplicationsReasonReplacesTheTableTextOnOneLine) {
  const struct {
    const char* description;
    const char* text;
    bool described;
  } cases[] = {
      {"General Error.\nGeneral input/output error.", "General Error. General input/output error.",
       true},
      {"  padded\r\n", "padded", true},
      {"", "Unknown error 0x800A03EC", false},
      {" \n\t", "Unknown error 0x800A03EC", false},
  };
  for (const auto& c : cases) {
    const com::Error error(com::SHEET_E_APPLICATION_DEFINED, c.description);
    EXPECT_EQ(error.hr(), com::SHEET_E_APPLICATION_DEFINED);
    EXPECT_EQ(error.ErrorMessage(), c.text) << c.description;
    EXPECT_EQ(error.HasDescription(), c.described) << c.description;
  }
}

}  // namespace
