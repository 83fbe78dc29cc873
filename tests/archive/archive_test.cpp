// The archive's field encodings: the byte layout, the flags, the bounds and
// the cell fields. (Lengths and counts that cannot fit are refused in
// case_round_trip_test.cpp, with their messages.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/archive_helpers.h"
#include "archive/byte_builder.h"
#include "archive/primitives.h"
#include "case/stream_data.h"

namespace {

using archive::Archive;
using archive::ArchiveError;
using archive_test::ErrorKind;

TEST(ArchiveEncoding, NumbersAreLittleEndianWhateverTheMachine) {
  std::uint8_t u8 = 0xAB;
  std::uint16_t u16 = 0x0102;
  std::uint32_t u32 = 0x03040506;
  std::int32_t i32 = -2;
  double number = 1.0;
  bool flag = true;
  std::string text = "ab";
  const auto transfer = [&](Archive& archive) {
    archive::TransferU8(archive, u8);
    archive::TransferU16(archive, u16);
    archive::TransferU32(archive, u32);
    archive::TransferI32(archive, i32);
    archive::TransferDouble(archive, number);
    archive::TransferFlag(archive, flag);
    archive::TransferText(archive, text);
  };
  std::vector<std::uint8_t> bytes;
  Archive store = Archive::StoreGrowing(bytes);
  transfer(store);
  const std::vector<std::uint8_t> expected = {0xAB, 0x02, 0x01, 0x06, 0x05, 0x04, 0x03, 0xFE, 0xFF,
                                              0xFF, 0xFF, 0,    0,    0,    0,    0,    0,    0xF0,
                                              0x3F, 1,    2,    0,    0,    0,    'a',  'b'};
  EXPECT_EQ(bytes, expected);
  auto stored = std::tie(u8, u16, u32, i32, number, flag, text);
  const auto values = std::make_tuple(u8, u16, u32, i32, number, flag, text);
  stored = std::make_tuple(0, 0, 0, 0, 0.0, false, "");
  Archive load = Archive::LoadFrom(bytes);
  transfer(load);
  EXPECT_EQ(stored, values);
  EXPECT_EQ(load.Remaining(), 0u);

  // Any byte but 0 loads as a set flag.
  const std::vector<std::uint8_t> flagBytes = {0, 1, 2, 0xFF};
  Archive flags = Archive::LoadFrom(flagBytes);
  for (const bool expectedFlag : {false, true, true, true}) {
    archive::TransferFlag(flags, flag = !expectedFlag);
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

  Archive load = Archive::LoadFrom(std::span(buffer).first(3));
  EXPECT_EQ(ErrorKind([&] { archive::TransferU32(load, value); }), ArchiveError::Kind::kEnd);
  EXPECT_EQ(value, 0x11223344u) << "a failed load leaves the value";
}

TEST(ArchiveText16, ALoadedTextIsCutToFifteenCharactersOrAtANul) {
  const std::vector<std::uint8_t> bytes = archive_test::ByteBuilder()
                                              .Text("ABCDEFGHIJKLMNOPQRST")
                                              .Text(std::string("B7\0C9", 5))
                                              .bytes();
  Archive load = Archive::LoadFrom(bytes);
  streams::CellField cut;
  streams::CellField nul;
  archive::TransferText16(load, cut);
  archive::TransferText16(load, nul);
  EXPECT_EQ(cut.view(), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(nul.view(), "B7");
  EXPECT_EQ(load.Remaining(), 0u) << "the whole stored text is consumed";
}

}  // namespace
