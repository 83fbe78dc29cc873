// The model's stream slots reach the stream transfer, through the interface
// table as the dispatch layer calls them; a new case has one stream of each
// kind.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/model.h"
#include "support/application_registration.h"
#include "support/guarded_buffer.h"

namespace {

TEST(ModelStreams, SlotsReachTheStreamTransfer) {
  test_support::MemoryApplicationRegistration applications("memory", /*asDefault=*/true);
  model::CExcModel model;
  model::CExtInterface& table = model;
  test_support::GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0);
  auto* statusRecord = reinterpret_cast<ExtStatusRecord*>(status.bytes.data());

  test_support::GuardedBuffer stream(EXT_STREAM_RECORD_MIN_SIZE, 0);
  const std::uint32_t start = 0xFFFFFFFFu;
  std::memcpy(stream.bytes.data() + EXT_STREAM_CURSOR_OFFSET, &start, sizeof start);
  std::vector<std::string> names;
  while (table.EnumStreams(stream.bytes.data(), 1, statusRecord) == 0) {
    names.emplace_back(reinterpret_cast<const char*>(stream.bytes.data()) + EXT_STREAM_NAME_OFFSET);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"In-1", "Out-1"}));

  EXPECT_EQ(table.QueryComp(nullptr, statusRecord), -1) << "compositions are off";

  test_support::GuardedBuffer list(EXT_COMPONENT_LIST_RECORD_MIN_SIZE, 0);
  EXPECT_EQ(table.GetStreamComposition(list.bytes.data(), 0, statusRecord), 0)
      << "compositions off: nothing to give";
  model.caseDetails.useCompositions = 1;
  EXPECT_EQ(table.GetStreamComposition(list.bytes.data(), 7, statusRecord), -1)
      << "no stream has handle 7";

  test_support::GuardedBuffer ipr(EXT_IPR_RECORD_SIZE, 0);
  const std::uint32_t size = EXT_IPR_RECORD_SIZE;
  std::memcpy(ipr.bytes.data(), &size, sizeof size);
  EXPECT_EQ(table.GetIPR(ipr.bytes.data(), statusRecord), 1) << "no workbook is open";
  EXPECT_NE(std::string(reinterpret_cast<const char*>(status.bytes.data()) + 4), "");
  EXPECT_TRUE(stream.GuardsIntact());
  EXPECT_TRUE(list.GuardsIntact());
  EXPECT_TRUE(ipr.GuardsIntact());
  EXPECT_TRUE(status.GuardsIntact());
}

}  // namespace
