#include "com/error_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "com/error.h"
#include "thrown_error.h"

namespace {

static_assert(com::E_FAIL == static_cast<HRESULT>(0x80004005u));
static_assert(static_cast<std::uint32_t>(com::SHEET_E_APPLICATION_DEFINED) == 0x800A03ECu);
static_assert(com::FAILED(com::E_POINTER) && com::SUCCEEDED(com::S_FALSE));

TEST(ComErrorText, SystemTextsAsWindowsWordsThem) {
  const struct {
    std::uint32_t code;
    const char* text;
  } cases[] = {
      {0x80004005u, "Unspecified error"},
      {0x80004003u, "Invalid pointer"},
      {0x80004002u, "No such interface supported"},
      {0x80004001u, "Not implemented"},
      {0x80070057u, "The parameter is incorrect."},
      {0x8007000Eu, "Not enough memory resources are available to complete this operation."},
      {0x80020003u, "Member not found."},
      {0x80020004u, "Parameter not found."},
      {0x80020005u, "Type mismatch."},
      {0x80020006u, "Unknown name."},
      {0x80020009u, "Exception occurred."},
      {0x8002000Au, "Out of present range."},
      {0x8002000Bu, "Invalid index."},
      {0x8002000Eu, "Invalid number of parameters."},
      {0x800401F3u, "Invalid class string"},
      {0x80040154u, "Class not registered"},
      {0x80010108u, "The object invoked has disconnected from its clients."},
      {0x800706BAu, "The RPC server is unavailable."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(com::ComErrorText(static_cast<HRESULT>(c.code)), c.text) << std::hex << c.code;
  }
}

TEST(ComErrorText, TableTextLosesItsLineEnd) {
  EXPECT_EQ(com::SystemMessageText(com::E_FAIL), "Unspecified error\r\n");
  EXPECT_EQ(com::ComErrorText(com::E_FAIL), "Unspecified error");
  EXPECT_TRUE(com::SystemMessageText(com::SHEET_E_APPLICATION_DEFINED).empty());
}

TEST(ComErrorText, TrimRemovesOneLineFeedThenOneCarriageReturn) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"text\r\n", "text"},
      {"text\n", "text"},
      {"text\r", "text\r"},
      {"text\r\n\r\n", "text\r\n"},
      {"text\n\n", "text\n"},
      {"text\n\r", "text\n\r"},
      {"\r\n", ""},
      {"\n", "\n"},
      {"", ""},
      {"plain", "plain"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(com::TrimMessageLineEnd(c.in), c.out);
}

TEST(ComErrorText, CodesWithoutTextFollowTheFallbackRules) {
  const struct {
    std::uint32_t code;
    const char* text;
  } cases[] = {
      {0x80040201u, "IDispatch error #1"},
      {0x80040264u, "IDispatch error #100"},
      {0x8004FFFFu, "IDispatch error #65023"},
      // The first code of the dispatch range has dispatch number 0, which
      // reads as unknown.
      {0x80040200u, "Unknown error 0x80040200"},
      {0x800401FFu, "Unknown error 0x800401FF"},
      {0x80050000u, "Unknown error 0x80050000"},
      {0x800A03ECu, "Unknown error 0x800A03EC"},
      {0xFFFFFFFFu, "Unknown error 0xFFFFFFFF"},
      {0x00001234u, "Unknown error 0x1234"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(com::ComErrorText(static_cast<HRESULT>(c.code)), c.text) << std::hex << c.code;
  }
}

TEST(ComError, CarriesCodeAndText) {
  const com::Error error(com::DISP_E_EXCEPTION);
  EXPECT_EQ(error.hr(), com::DISP_E_EXCEPTION);
  EXPECT_EQ(error.ErrorMessage(), "Exception occurred.");
  EXPECT_STREQ(error.what(), "Exception occurred.");

  EXPECT_EQ(com::ThrowIfFailed(com::S_OK), com::S_OK);
  EXPECT_EQ(com::ThrowIfFailed(com::S_FALSE), com::S_FALSE);
  EXPECT_EQ(com_test::ThrownCode([] { com::ThrowIfFailed(com::SHEET_E_APPLICATION_DEFINED); }),
            com::SHEET_E_APPLICATION_DEFINED);
  EXPECT_EQ(com_test::ThrownCode([] { com::Throw(com::E_POINTER); }), com::E_POINTER);
}

}  // namespace
