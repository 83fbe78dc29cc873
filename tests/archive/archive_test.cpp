// The archive's field encodings: the flags, the bounds and the cell fields.
// (The byte layout of every number and text is pinned by the version tests
// against the independent builder, and lengths and counts that cannot fit
// are refused there too, with their messages: case_round_trip_test.cpp.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/archive_helpers.h"
#include "archive/byte_builder.h"
#include "archive/primitives.h"
#include "casedata/stream_data.h"

namespace {

using archive::Archive;
using archive::ArchiveError;
using archive_test::ErrorKind;

TEST(ArchiveEncoding, AnyByteButZeroLoadsAsASetFlag) {
  const std::vector<std::uint8_t> flagBytes = {0, 1, 2, 0xFF};
  Archive flags = Archive::LoadFrom(flagBytes);
  for (const bool expected : {false, true, true, true}) {
    bool flag = !expected;
    archive::TransferFlag(flags, flag);
    EXPECT_EQ(flag, expected);
  }
}

TEST(ArchiveBounds, ATransferPastTheEndFailsAndTouchesNothingBeyond) {
  std::vector<std::uint8_t> buffer(6, 0xEE);
  Archive store = Archive::StoreInto(std::span(buffer).first(5));
  std::uint32_t value = 0x11223344;
  archive::TransferU32(store, value);
  EXPECT_EQ(ErrorKind([&] {
              archive::TransferU32(store, value);
              return store.TakeFailure();
            }),
            ArchiveError::Kind::kEnd);
  std::uint8_t fits = 0x55;
  archive::TransferU8(store, fits);  // one byte is left, but the archive has stopped
  EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11, 0xEE, 0xEE}));
  EXPECT_EQ(ErrorKind([&] { return store.TakeFailure(); }), ArchiveError::Kind::kEnd)
      << "the archive stays stopped with its first failure";

  Archive load = Archive::LoadFrom(std::span(buffer).first(3));
  EXPECT_EQ(ErrorKind([&] {
              archive::TransferU32(load, value);
              return load.TakeFailure();
            }),
            ArchiveError::Kind::kEnd);
  EXPECT_EQ(value, 0x11223344u) << "a failed load leaves the value";
}

TEST(ArchiveText16, ALoadedTextIsCutToFifteenCharactersOrAtANul) {
  const std::vector<std::uint8_t> bytes = archive_test::ByteBuilder()
                                              .Text("ABCDEFGHIJKLMNOPQRST")
                                              .Text(std::string("B7\0C9", 5))
                                              .bytes();
  Archive load = Archive::LoadFrom(bytes);
  casedata::CellField cut;
  casedata::CellField nul;
  archive::TransferText16(load, cut);
  archive::TransferText16(load, nul);
  EXPECT_EQ(cut.view(), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(nul.view(), "B7");
  EXPECT_EQ(load.Remaining(), 0u) << "the whole stored text is consumed";
}

}  // namespace
