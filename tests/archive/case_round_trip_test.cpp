// The current version written and read back: every element kind with
// values other than its defaults, the bounds of the buffer, damaged and
// truncated archives, and the values a reader keeps within range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/archive_helpers.h"
#include "archive/byte_builder.h"
#include "archive/case_checks.h"
#include "archive/case_record.h"
#include "archive/sample_case.h"

namespace {

using archive::Archive;
using archive::ArchiveError;
using archive_test::ByteBuilder;
using archive_test::StoreCase;

// Loads into a fresh case; the error's kind, or nullopt when it loaded.
std::optional<ArchiveError::Kind> Load(std::span<const std::uint8_t> bytes,
                                       archive::CaseContent& content) {
  return archive_test::ErrorKind([&] {
    Archive load = Archive::LoadFrom(bytes);
    archive::TransferCase(load, content.View());
  });
}

TEST(CaseRoundTrip, EveryElementKindComesBackAsWrittenUnderTheSignatureAndVersion40) {
  archive::CaseContent written;
  archive_test::FillSampleCase(written.View(), 3);
  written.version = 12;  // the version last read does not change what is written
  const std::vector<std::uint8_t> bytes = StoreCase(written);
  const std::vector<std::uint8_t> head = ByteBuilder().Signature().U32(40).bytes();
  ASSERT_GE(bytes.size(), head.size());
  EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
  EXPECT_EQ(written.version, 12);

  archive::CaseContent read;
  ASSERT_EQ(Load(bytes, read), std::nullopt);
  EXPECT_EQ(read.version, 40);
  archive_test::ExpectSameCase(written.View(), read.View());
  EXPECT_EQ(StoreCase(read), bytes) << "writing what was read gives the same bytes";
}

TEST(CaseRoundTrip, ABufferTooSmallFailsWithTheBytesThatFitWrittenAndNoMore) {
  archive::CaseContent content;
  archive_test::FillSampleCase(content.View());
  const std::vector<std::uint8_t> whole = StoreCase(content);
  for (const std::size_t capacity :
       {std::size_t{0}, std::size_t{8}, whole.size() / 2, whole.size() - 1}) {
    std::vector<std::uint8_t> buffer(capacity + 8, 0xCC);
    Archive store = Archive::StoreInto(std::span(buffer).first(capacity));
    EXPECT_EQ(archive_test::ErrorKind([&] { archive::TransferCase(store, content.View()); }),
              ArchiveError::Kind::kEnd)
        << capacity;
    for (std::size_t i = capacity; i < buffer.size(); ++i)
      ASSERT_EQ(buffer[i], 0xCC) << "byte " << i << " past a capacity of " << capacity;
  }
  std::vector<std::uint8_t> exact(whole.size());
  Archive store = Archive::StoreInto(exact);
  archive::TransferCase(store, content.View());
  EXPECT_EQ(exact, whole);
}

TEST(CaseRoundTrip, EveryTruncationOfARealisticCaseIsRefusedCleanly) {
  archive::CaseContent written;
  archive_test::FillSampleCase(written.View(), 2);
  const std::vector<std::uint8_t> bytes = StoreCase(written);
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    archive::CaseContent read;
    const auto kind = Load(std::span(bytes).first(size), read);
    ASSERT_TRUE(kind == ArchiveError::Kind::kEnd || kind == ArchiveError::Kind::kFormat)
        << "a case cut to " << size << " bytes";
    archive::SettleStreamCounts(read.details);
    ASSERT_EQ(read.details.inputStreams.size(), read.details.inputCount) << size;
    ASSERT_EQ(read.details.outputStreams.size(), read.details.outputCount) << size;
    // What was read is whole: every element appended came from the archive.
    for (std::size_t i = 0; i < read.constraints.size(); ++i)
      ASSERT_EQ(read.constraints.At(i)->unit, "bbl/d") << size;
  }
}

TEST(CaseRoundTrip, AFailedReadKeepsTheFieldsReadBeforeIt) {
  archive::CaseContent written;
  archive_test::FillSampleCase(written.View());
  const std::vector<std::uint8_t> bytes = StoreCase(written);
  // The longest cut that still ends inside the second constraint.
  std::size_t cut = bytes.size();
  while (cut > 0) {
    archive::CaseContent read;
    (void)Load(std::span(bytes).first(--cut), read);
    if (read.constraints.size() == 1) break;
  }
  archive::CaseContent read;
  EXPECT_NE(Load(std::span(bytes).first(cut), read), std::nullopt);
  EXPECT_EQ(read.details.fileName, written.details.fileName);
  EXPECT_TRUE(read.objective.Defined);
  EXPECT_EQ(read.objective.name, "Revenue0");
  ASSERT_EQ(read.constraints.size(), 1u);
  EXPECT_TRUE(read.controls.empty());
}

TEST(CaseRoundTrip, VersionsOutsideOneToFortyAreRefused) {
  struct Case {
    std::uint32_t version;
    ArchiveError::Kind kind;
    std::int32_t versionKept;
  };
  for (const Case& c : {Case{41, ArchiveError::Kind::kVersionTooNew, 41},
                        Case{0xFFFFFFFF, ArchiveError::Kind::kVersionTooNew, 0x7FFFFFFF},
                        Case{0, ArchiveError::Kind::kFormat, 0}}) {
    const std::vector<std::uint8_t> bytes =
        ByteBuilder().Signature().U32(c.version).Text("book.xlsx").U32(1).U32(1).bytes();
    archive::CaseContent read;
    read.version = -5;
    EXPECT_EQ(Load(bytes, read), c.kind) << c.version;
    EXPECT_EQ(read.version, c.versionKept) << "the version read stays";
    EXPECT_EQ(read.details.fileName, "") << "nothing after the version is read";
  }
}

// A version-40 case with nothing in it up to the collection under test.
ByteBuilder Head(std::uint32_t inputCount = 1, std::uint32_t outputCount = 1) {
  ByteBuilder b;
  b.Signature().U32(40).Text("").U32(inputCount).U32(outputCount);
  for (int macro = 0; macro < 7; ++macro)
    b.Text("").Flag(false);
  return b;
}

// An undefined objective and the constraint count.
ByteBuilder& ObjectiveThenConstraints(ByteBuilder& b, std::uint32_t constraints) {
  return b.Flag(false).Flag(true).Text("").Text("").Text("").Text("").U32(constraints);
}

TEST(CaseRoundTrip, CountsThatCannotFitTheBytesLeftAreFormatErrorsAndAddNothing) {
  ByteBuilder constraints = Head().U32(0).U32(0);
  ObjectiveThenConstraints(constraints, 400).Append(std::vector<std::uint8_t>(1000));
  ByteBuilder components = Head().U32(0).U32(0);
  ObjectiveThenConstraints(components, 0).Flag(true).U32(1).Text("Gas").U32(0xFFFFFFF0);
  // Version 9 keeps a single legacy composition of its own.
  ByteBuilder legacy;
  legacy.Signature().U32(9).Text("").U32(1).U32(1).Text("").Flag(false).U32(0).U32(0);
  ObjectiveThenConstraints(legacy, 0).Flag(true).U32(50000).Text("C1");
  const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases = {
      {"input streams", Head().U32(0x10000000).bytes()},
      {"output streams", Head().U32(0).U32(0xFFFFFFFF).bytes()},
      {"constraints", constraints.bytes()},
      {"components", components.bytes()},
      {"legacy components", legacy.bytes()},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    archive::CaseContent read;
    EXPECT_EQ(Load(bytes, read), ArchiveError::Kind::kFormat);
    EXPECT_TRUE(read.constraints.empty());
    EXPECT_TRUE(read.details.compositions.empty());
  }
}

TEST(CaseRoundTrip, StreamCountsAreKeptWithinOneToFiveThousandWithMatchingStreams) {
  struct Case {
    std::uint32_t stored;
    std::uint32_t kept;
  };
  for (const Case& c : {Case{0, 1}, Case{1, 1}, Case{4, 4}, Case{5000, 5000}, Case{5001, 5000},
                        Case{0xFFFFFFFF, 5000}}) {
    // Two streams of each kind stored, whatever the counts say.
    archive::CaseContent written;
    archive_test::FillSampleCase(written.View(), 2);
    written.details.outputStreams.RemoveAt(2);
    written.details.inputCount = c.stored;
    written.details.outputCount = c.stored;
    archive::CaseContent read;
    ASSERT_EQ(Load(StoreCase(written), read), std::nullopt);
    archive::SettleStreamCounts(read.details);
    EXPECT_EQ(read.details.inputCount, c.kept) << c.stored;
    EXPECT_EQ(read.details.outputCount, c.kept) << c.stored;
    EXPECT_EQ(read.details.inputStreams.size(), c.kept) << c.stored;
    EXPECT_EQ(read.details.outputStreams.size(), c.kept) << c.stored;
    EXPECT_EQ(read.details.inputStreams.At(0)->sheetName, "Inputs 0");
  }
}

TEST(CaseRoundTrip, StateCountsAreKeptWithinZeroToTwenty) {
  for (const auto& [stored, kept] : std::vector<std::pair<std::int32_t, std::int32_t>>{
           {-7, 0}, {0, 0}, {13, 13}, {20, 20}, {21, 20}, {0x7FFFFFFF, 20}}) {
    archive::CaseContent written;
    written.intControls.Add(archive_test::SampleIntegerControl(0, 5));
    written.intControls.At(0)->StateCount = stored;
    archive::CaseContent read;
    ASSERT_EQ(Load(StoreCase(written), read), std::nullopt);
    EXPECT_EQ(read.intControls.At(0)->StateCount, kept) << stored;
  }
}

}  // namespace
