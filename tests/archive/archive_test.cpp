// The archive and its field encodings: bounds in both directions, the byte
// order, texts, the cell fields and the count checks.
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

TEST(ArchiveEncoding, NumbersAreLittleEndianWhateverTheMachine) {
  std::vector<std::uint8_t> bytes;
  Archive store = Archive::StoreGrowing(bytes);
  std::uint8_t u8 = 0xAB;
  std::uint16_t u16 = 0x0102;
  std::uint32_t u32 = 0x03040506;
  std::int32_t i32 = -2;
  double number = 1.0;  // 0x3FF0000000000000
  bool flag = true;
  std::string text = "ab";
  archive::TransferU8(store, u8);
  archive::TransferU16(store, u16);
  archive::TransferU32(store, u32);
  archive::TransferI32(store, i32);
  archive::TransferDouble(store, number);
  archive::TransferFlag(store, flag);
  archive::TransferText(store, text);
  const std::vector<std::uint8_t> expected = {0xAB, 0x02, 0x01, 0x06, 0x05, 0x04, 0x03, 0xFE, 0xFF,
                                              0xFF, 0xFF, 0,    0,    0,    0,    0,    0,    0xF0,
                                              0x3F, 1,    2,    0,    0,    0,    'a',  'b'};
  EXPECT_EQ(bytes, expected);

  Archive load = Archive::LoadFrom(bytes);
  u8 = 0;
  u16 = 0;
  u32 = 0;
  i32 = 0;
  number = 0;
  flag = false;
  text.clear();
  archive::TransferU8(load, u8);
  archive::TransferU16(load, u16);
  archive::TransferU32(load, u32);
  archive::TransferI32(load, i32);
  archive::TransferDouble(load, number);
  archive::TransferFlag(load, flag);
  archive::TransferText(load, text);
  EXPECT_EQ(u8, 0xAB);
  EXPECT_EQ(u16, 0x0102);
  EXPECT_EQ(u32, 0x03040506u);
  EXPECT_EQ(i32, -2);
  EXPECT_EQ(number, 1.0);
  EXPECT_TRUE(flag);
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(load.Remaining(), 0u);
}

TEST(ArchiveEncoding, AnyNonZeroFlagByteLoadsAsSet) {
  const std::vector<std::uint8_t> bytes = {0, 1, 2, 0xFF};
  Archive load = Archive::LoadFrom(bytes);
  std::vector<bool> flags;
  for (int i = 0; i < 4; ++i) {
    bool flag = false;
    archive::TransferFlag(load, flag);
    flags.push_back(flag);
  }
  EXPECT_EQ(flags, (std::vector<bool>{false, true, true, true}));
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

TEST(ArchiveBounds, ATextLongerThanTheBytesLeftIsRefusedBeforeAllocation) {
  struct Case {
    std::uint32_t length;
    std::size_t present;
  };
  for (const Case& c : {Case{5, 4}, Case{0xFFFFFFFF, 0}, Case{0x7FFFFFFF, 16}}) {
    ByteBuilder bytes;
    bytes.U32(c.length);
    for (std::size_t i = 0; i < c.present; ++i)
      bytes.U8('x');
    Archive load = Archive::LoadFrom(bytes.bytes());
    std::string text = "kept";
    EXPECT_EQ(ErrorKind([&] { archive::TransferText(load, text); }), ArchiveError::Kind::kFormat)
        << c.length;
    EXPECT_EQ(text, "kept");
  }
}

TEST(ArchiveBounds, ACountWhoseElementsCannotFitIsAFormatError) {
  const std::vector<std::uint8_t> bytes = ByteBuilder().U32(3).U32(0).U32(0).bytes();
  std::uint32_t count = 0;
  Archive tooMany = Archive::LoadFrom(bytes);
  // Three elements of at least 4 bytes cannot be among 8 bytes.
  EXPECT_EQ(ErrorKind([&] { archive::TransferCount(tooMany, count, 4, "names"); }),
            ArchiveError::Kind::kFormat);
  Archive fits = Archive::LoadFrom(bytes);
  archive::TransferCount(fits, count, 2, "names");
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
  const std::vector<std::vector<std::uint8_t>> wrong = {
      ByteBuilder().U32(0).U32(0x385FD21A).bytes(),
      ByteBuilder().U32(1).U32(0x385FD21B).bytes(),
      ByteBuilder().U32(1).bytes(),
  };
  for (const auto& bytes : wrong) {
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
