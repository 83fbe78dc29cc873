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
    EXPECT_EQ(com::ComErrorText(static_cast<com::HRESULT>(c.code)), c.text) << std::hex << c.code;
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

TEST(ComError, ThrowIfFailedPassesSuccessOnAndThrowsTheCode) {
  EXPECT_EQ(com::ThrowIfFailed(com::S_FALSE), com::S_FALSE);
  EXPECT_EQ(com_test::FailureOf([] { com::ThrowIfFailed(com::SHEET_E_APPLICATION_DEFINED); }),
            com::SHEET_E_APPLICATION_DEFINED);
}

TEST(ComError, TheApplicationsReasonReplacesTheTableTextOnOneLine) {
  const struct {
    const char* description;
    const char* text;
    bool described;
  } cases[] = {
      {nullptr, "Exception occurred.", false},  // the table's text
      {"General Error.\nGeneral input/output error.", "General Error. General input/output error.",
       true},
      {"  padded\r\n", "padded", true},
      {"", "Unknown error 0x800A03EC", false},
      {" \n\t", "Unknown error 0x800A03EC", false},
  };
  for (const auto& c : cases) {
    const com::HRESULT hr = c.description ? com::SHEET_E_APPLICATION_DEFINED : com::DISP_E_EXCEPTION;
    const com::Error error = c.description ? com::Error(hr, c.description) : com::Error(hr);
    EXPECT_EQ(error.hr(), hr);
    EXPECT_STREQ(error.what(), c.text);
    EXPECT_EQ(error.HasDescription(), c.described) << c.text;
  }
}

}  // namespace
