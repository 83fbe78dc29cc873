// The archive and its field encodings: the byte layout, bounds in both
// directions, texts, the cell fields, the count checks and the signature.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/archive_helpers.h"
#include "archive/byte_builder.h"
#include "archive/primitives.h"
#include "archive/signature.h"
#include "case/stream_data.h"

namespace {

using archive::Archive;
using archive::ArchiveError;
using archive_test::ByteBuilder;
using archive_test::ErrorKind;

struct Values {
  std::uint8_t u8 = 0;
  std::uint16_t u16 = 0;
  std::uint32_t u32 = 0;
  std::int32_t i32 = 0;
  double number = 0;
  bool flag = false;
  std::string text;
  bool operator==(const Values&) const = default;
};

void TransferValues(Archive& archive, Values& v) {
  archive::TransferU8(archive, v.u8);
  archive::TransferU16(archive, v.u16);
  archive::TransferU32(archive, v.u32);
  archive::TransferI32(archive, v.i32);
  archive::TransferDouble(archive, v.number);
  archive::TransferFlag(archive, v.flag);
  archive::TransferText(archive, v.text);
}

TEST(ArchiveEncoding, NumbersAreLittleEndianWhateverTheMachine) {
  Values stored{0xAB, 0x0102, 0x03040506, -2, 1.0, true, "ab"};
  std::vector<std::uint8_t> bytes;
  Archive store = Archive::StoreGrowing(bytes);
  TransferValues(store, stored);
  const std::vector<std::uint8_t> expected = {0xAB, 0x02, 0x01, 0x06, 0x05, 0x04, 0x03, 0xFE, 0xFF,
                                              0xFF, 0xFF, 0,    0,    0,    0,    0,    0,    0xF0,
                                              0x3F, 1,    2,    0,    0,    0,    'a',  'b'};
  EXPECT_EQ(bytes, expected);

  Values loaded;
  Archive load = Archive::LoadFrom(bytes);
  TransferValues(load, loaded);
  EXPECT_TRUE(loaded == stored);
  EXPECT_EQ(load.Remaining(), 0u);

  // Any byte but 0 loads as a set flag.
  const std::vector<std::uint8_t> flagBytes = {0, 1, 2, 0xFF};
  Archive flags = Archive::LoadFrom(flagBytes);
  for (const bool expectedFlag : {false, true, true, true}) {
    bool flag = !expectedFlag;
    archive::TransferFlag(flags, flag);
    EXPECT_EQ(flag, expectedFlag);
  }
}

TEST(ArchiveBounds, ATransferPastTheEndFailsAndTouchesNothingBeyond) {
  std::vector<std::uint8_t> buffer(6, 0xEE);
  Archive store = Archive::StoreInto(std::span(buffer).first(5));
  std::uint32_t value = 0x11223344;
  archive::TransferU32(store, value);
  EXPECT_EQ(ErrorKind([&] { archive::TransferU32(store, value); }), ArchiveError::Kind::kEnd);
  EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11, 0xEE, 0xEE}));
  EXPECT_EQ(store.Position(), 4u);

  Archive load = Archive::LoadFrom(std::span(buffer).first(3));
  value = 77;
  EXPECT_EQ(ErrorKind([&] { archive::TransferU32(load, value); }), ArchiveError::Kind::kEnd);
  EXPECT_EQ(value, 77u) << "a failed load leaves the value";
}

// Lengths and counts are checked against the bytes left before anything is
// allocated, with what and where in the message.
TEST(ArchiveBounds, TextsAndCountsThatCannotFitTheBytesLeftAreFormatErrors) {
  struct Case {
    std::vector<std::uint8_t> rest;  // after a first word
    const char* message;
    std::size_t countElementSize = 0;  // 0: a text
  };
  const std::vector<Case> cases = {
      {ByteBuilder().U32(5).U32(0).bytes(),
       "a text of 5 bytes at byte 4 does not fit the 4 bytes left"},
      {ByteBuilder().U32(0xFFFFFFFF).bytes(),
       "a text of 4294967295 bytes at byte 4 does not fit the 0 bytes left"},
      {ByteBuilder().U32(0x7FFFFFFF).Text("0123456789ab").bytes(),
       "a text of 2147483647 bytes at byte 4 does not fit the 16 bytes left"},
      // Three names of at least 4 bytes cannot be among 8 bytes.
      {ByteBuilder().U32(3).U32(0).U32(0).bytes(), "3 names at byte 4 do not fit the 8 bytes left",
       4},
  };
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> bytes = ByteBuilder().U32(9).Append(c.rest).bytes();
    Archive load = Archive::LoadFrom(bytes);
    std::uint32_t first = 0;
    archive::TransferU32(load, first);
    std::string text = "kept";
    try {
      if (c.countElementSize > 0) {
        archive::TransferCount(load, first, c.countElementSize, "names");
      } else {
        archive::TransferText(load, text);
      }
      ADD_FAILURE() << c.message;
    } catch (const ArchiveError& error) {
      EXPECT_EQ(error.kind(), ArchiveError::Kind::kFormat);
      EXPECT_STREQ(error.what(), c.message);
    }
    EXPECT_EQ(text, "kept");
  }
  const std::vector<std::uint8_t> fits = ByteBuilder().U32(3).U32(0).U32(0).bytes();
  Archive load = Archive::LoadFrom(fits);
  std::uint32_t count = 0;
  archive::TransferCount(load, count, 2, "names");
  EXPECT_EQ(count, 3u);
}

TEST(ArchiveText16, ALoadedTextIsCutToFifteenCharacters) {
  const std::vector<std::uint8_t> bytes =
      ByteBuilder().Text("ABCDEFGHIJKLMNOPQRST").Text(std::string("B7\0C9", 5)).bytes();
  Archive load = Archive::LoadFrom(bytes);
  streams::CellField cut;
  streams::CellField nul;
  archive::TransferText16(load, cut);
  archive::TransferText16(load, nul);
  EXPECT_EQ(cut.view(), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(nul.view(), "B7") << "the field ends at a NUL";
  EXPECT_EQ(load.Remaining(), 0u) << "the whole stored text is consumed";
}

TEST(ArchiveSignature, IsCheckedWordByWord) {
  for (const auto& bytes :
       {ByteBuilder().U32(0).U32(0x385FD21A).bytes(), ByteBuilder().U32(1).U32(0x385FD21B).bytes(),
        ByteBuilder().U32(1).bytes()}) {
    Archive load = Archive::LoadFrom(bytes);
    const auto kind = ErrorKind([&] { archive::TransferSignature(load); });
    EXPECT_TRUE(kind == ArchiveError::Kind::kFormat || kind == ArchiveError::Kind::kEnd);
  }
  const std::vector<std::uint8_t> right = ByteBuilder().Signature().bytes();
  Archive load = Archive::LoadFrom(right);
  archive::TransferSignature(load);
  EXPECT_EQ(load.Remaining(), 0u);
}

}  // namespace
