#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "case/case_details.h"
#include "case/stream_data.h"
#include "gridmoor/host.h"
#include "streams/stream_transfer.h"
#include "support/guarded_buffer.h"

namespace {

class EnumStreamsTest : public ::testing::Test {
 protected:
  EnumStreamsTest() {
    details_.inputCount = 2;
    details_.outputCount = 1;
    streams::ResizeStreams(details_.inputStreams, 2);
    streams::ResizeStreams(details_.outputStreams, 1);
  }
  void TearDown() override {
    EXPECT_TRUE(record_.GuardsIntact());
    EXPECT_TRUE(status_.GuardsIntact());
  }

  std::int32_t Next(std::int32_t query = 1, bool createFailed = false) {
    return streams::EnumStreams(details_, createFailed, record_.bytes.data(), query, Status());
  }
  std::uint32_t Word(std::size_t offset) const {
    std::uint32_t value;
    std::memcpy(&value, record_.bytes.data() + offset, sizeof value);
    return value;
  }
  void SetCursor(std::uint32_t cursor) {
    std::memcpy(record_.bytes.data() + EXT_STREAM_CURSOR_OFFSET, &cursor, sizeof cursor);
  }
  std::string Text(std::size_t offset) const {
    return reinterpret_cast<const char*>(record_.bytes.data()) + offset;
  }
  ExtStatusRecord* Status() { return reinterpret_cast<ExtStatusRecord*>(status_.bytes.data()); }

  model::CExcCaseDetails details_;
  test_support::GuardedBuffer record_{EXT_STREAM_RECORD_MIN_SIZE};
  test_support::GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

TEST_F(EnumStreamsTest, ListsInputsThenOutputsFromTheStartCursor) {
  struct Expected {
    std::uint32_t cursor;
    std::uint32_t kind;
    std::uint32_t isOutput;
    const char* name;
  };
  const Expected expected[] = {
      {0, EXT_STREAM_KIND_INPUT, 0, "In-1"},
      {1, EXT_STREAM_KIND_INPUT, 0, "In-2"},
      {2, EXT_STREAM_KIND_OUTPUT, 1, "Out-1"},
  };
  SetCursor(0xFFFFFFFFu);
  for (const Expected& e : expected) {
    ASSERT_EQ(Next(), 0) << e.name;
    EXPECT_EQ(Word(EXT_STREAM_CURSOR_OFFSET), e.cursor);
    EXPECT_EQ(Word(EXT_STREAM_KIND_OFFSET), e.kind) << e.name;
    EXPECT_EQ(Word(EXT_STREAM_IS_OUTPUT_OFFSET), e.isOutput) << e.name;
    EXPECT_EQ(Word(12), 0u);
    EXPECT_EQ(Word(16), 0u);
    EXPECT_EQ(Word(20), 0u);
    EXPECT_EQ(Word(24), 1u);
    EXPECT_EQ(Text(EXT_STREAM_NAME_OFFSET), e.name);
    EXPECT_EQ(Text(EXT_STREAM_DESCRIPTION_OFFSET), "Excel stream");
    EXPECT_EQ(Word(0), 0x11111111u) << "the word at 0 is the host's";
    // Only the texts and their terminators are written in the text fields.
    EXPECT_EQ(record_.bytes[EXT_STREAM_DESCRIPTION_OFFSET + 13], 0x11);
    EXPECT_EQ(record_.bytes[EXT_STREAM_NAME_OFFSET + 63], 0x11);
  }
  const std::vector<unsigned char> atEnd = record_.bytes;
  EXPECT_EQ(Next(), -1);
  EXPECT_EQ(record_.bytes, atEnd) << "the end of the list changes nothing";
  SetCursor(41);
  EXPECT_EQ(Next(), -1);
  EXPECT_EQ(std::string(Status()->text), "");
}

TEST_F(EnumStreamsTest, OtherQueriesAndFailures) {
  SetCursor(0xFFFFFFFFu);
  const std::vector<unsigned char> before = record_.bytes;
  EXPECT_EQ(Next(/*query=*/2), -1);
  EXPECT_EQ(record_.bytes, before);
  EXPECT_EQ(Next(/*query=*/0), 0) << "only kind 2 is refused";

  SetCursor(0xFFFFFFFFu);
  const std::vector<unsigned char> again = record_.bytes;
  EXPECT_EQ(Next(1, /*createFailed=*/true), 1);
  EXPECT_EQ(std::string(Status()->text), "There is no connection to Excel");
  EXPECT_EQ(record_.bytes, again);

  EXPECT_EQ(streams::EnumStreams(details_, false, nullptr, 1, Status()), 1);
  EXPECT_EQ(std::string(Status()->text), "Invalid stream record passed to Gridmoor::EnumStreams");
}

TEST_F(EnumStreamsTest, LargeCountsNameTheirStreams) {
  details_.inputCount = 5000;
  details_.outputCount = 5000;
  SetCursor(4998);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Text(EXT_STREAM_NAME_OFFSET), "In-5000");
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Text(EXT_STREAM_NAME_OFFSET), "Out-1");
  SetCursor(9998);
  ASSERT_EQ(Next(), 0);
  EXPECT_EQ(Text(EXT_STREAM_NAME_OFFSET), "Out-5000");
  EXPECT_EQ(Next(), -1);
}

}  // namespace
