// The stream, IPR and component-list records, each followed by guard bytes,
// and the stream commands' edge, where a refusal leaves the record as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "automation/session_fixture.h"
#include "casedata/composition.h"
#include "casedata/stream_data.h"
#include "casedata/values/stream_values.h"
#include "driver/commands/stream_commands.h"
#include "driver/records/stream_records.h"
#include "gridmoor/host.h"
#include "model/model.h"
#include "support/guarded_buffer.h"

namespace {

using casedata::IprValues;
using test_support::GuardedBuffer;

constexpr unsigned char kHostByte = 0x11;

std::uint32_t Word(const GuardedBuffer& buffer, std::size_t offset) {
  return buffer.Get<std::uint32_t>(offset);
}

// A text field as it stands: NULs shown as "|", untouched host bytes as "~".
std::string Field(const GuardedBuffer& buffer, std::size_t offset, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(buffer.bytes.data()) + offset, size);
  std::ranges::replace(text, '\0', '|');
  std::ranges::replace(text, static_cast<char>(kHostByte), '~');
  return text;
}

// Random bytes (NaN patterns among the doubles) under the IPR record's size.
GuardedBuffer RandomIprRecord(std::uint32_t seed) {
  GuardedBuffer record(EXT_IPR_RECORD_SIZE);
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < record.size; ++i)
    record.bytes[i] = static_cast<unsigned char>(random());
  record.Put<std::uint32_t>(EXT_IPR_SIZE_OFFSET, EXT_IPR_RECORD_SIZE);
  return record;
}

// Each value and where the host has it, listed apart from the codec's list.
TEST(IprRecord, EachValueHasItsPlaceInTheRecord) {
  IprValues values;
  values.handle = 3;
  const std::tuple<double IprValues::*, std::size_t> numbers[] = {
      {&IprValues::oilRate, 16},         {&IprValues::waterRate, 96},
      {&IprValues::gasRate, 176},        {&IprValues::pressure, 256},
      {&IprValues::massRate, 336},       {&IprValues::temperature, 416},
      {&IprValues::oilGravity, 102224},  {&IprValues::gasGravity, 102232},
      {&IprValues::waterGravity, 102240}};
  const std::tuple<std::uint32_t IprValues::*, std::size_t> words[] = {
      {&IprValues::handle, 4},
      {&IprValues::compositionPresent, 496},
      {&IprValues::componentCount, 508},
      {&IprValues::componentFlags, 2112},
      {&IprValues::eosModel, 91020}};
  // Column k's array, in the table's column order.
  const std::size_t columns[] = {94224, 2120, 2920, 3720, 4520,  5320,  6120,
                                 6920,  7720, 8520, 9320, 10120, 91824, 91024};
  double next = 1.0;
  for (const auto& [member, offset] : numbers)
    values.*member = next++;
  for (const auto& [member, offset] : words)
    values.*member = static_cast<std::uint32_t>(next++);
  for (casedata::ComponentValues& column : values.components)
    for (double& entry : column)
      entry = next++;
  for (casedata::ComponentValues& row : values.interaction)
    for (double& entry : row)
      entry = next++;

  GuardedBuffer record(EXT_IPR_RECORD_SIZE, kHostByte);
  host::HostRecord view = record.record();
  driver::WriteIprRecord(view, values);
  EXPECT_TRUE(record.GuardsIntact());
  for (const auto& [member, offset] : numbers)
    EXPECT_EQ(record.Get<double>(offset), values.*member) << offset;
  for (const auto& [member, offset] : words)
    EXPECT_EQ(Word(record, offset), values.*member) << offset;
  for (std::size_t k = 0; k < std::size(columns); ++k) {
    for (std::size_t i : {0, 1, 99})
      EXPECT_EQ(record.Get<double>(columns[k] + 8 * i), values.components[k][i]) << k << ", " << i;
  }
  for (std::size_t i : {0, 1, 99}) {
    for (std::size_t j : {0, 1, 99})
      EXPECT_EQ(record.Get<double>(10920 + 800 * i + 8 * j), values.interaction[i][j]);
  }
  EXPECT_EQ(Word(record, EXT_IPR_SIZE_OFFSET), 0x11111111u) << "the size word is the host's";
  EXPECT_TRUE(driver::ReadIprRecord(view) == values);
}

// What the edge relies on for a failed get: values read and written back
// unchanged give the record's bytes back, NaN patterns included.
TEST(IprRecord, ReadingAndWritingBackKeepsEveryByte) {
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    GuardedBuffer record = RandomIprRecord(seed);
    const std::vector<unsigned char> before = record.bytes;
    host::HostRecord view = driver::OpenIprRecord(record.bytes.data());
    driver::WriteIprRecord(view, driver::ReadIprRecord(view));
    EXPECT_TRUE(record.bytes == before) << seed;
  }
}

// The commands over a new case's model (one input, one output) in memory.
class StreamEdgeTest : public test_support::SessionTest {
 protected:
  ExtStatusRecord* Status() { return status_.Cleared(); }
  std::string Message() const { return status_.Message(); }

  model::CExcModel model_;
  test_support::StatusBuffer status_;
};

// Inputs, then outputs, from the start cursor; each listing fills its
// fields and leaves the rest of the record.
TEST_F(StreamEdgeTest, EnumStreamsWalksTheRecordsCursor) {
  model_.caseDetails.inputCount = 2;
  casedata::ResizeStreams(model_.caseDetails.inputStreams, 2);
  GuardedBuffer record(EXT_STREAM_RECORD_MIN_SIZE, kHostByte);
  record.Put<std::uint32_t>(EXT_STREAM_CURSOR_OFFSET, 0xFFFFFFFFu);
  const auto enumerate = [&](std::int32_t query) {
    return driver::EnumStreamsAtEdge(model_, record.bytes.data(), query, Status());
  };
  // The cursor, the kind, whether it is an output, and the name field.
  const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::string> listed[] = {
      {0, EXT_STREAM_KIND_INPUT, 0, "In-1|" + std::string(59, '~')},
      {1, EXT_STREAM_KIND_INPUT, 0, "In-2|" + std::string(59, '~')},
      {2, EXT_STREAM_KIND_OUTPUT, 1, "Out-1|" + std::string(58, '~')}};
  for (const auto& [cursor, kind, isOutput, name] : listed) {
    ASSERT_EQ(enumerate(1), 0) << name << ": " << Message();
    // The cursor, words 12 ... 24, the kind and whether it is an output.
    EXPECT_EQ((std::vector<std::uint32_t>{Word(record, EXT_STREAM_CURSOR_OFFSET), Word(record, 12),
                                          Word(record, 16), Word(record, 20), Word(record, 24),
                                          Word(record, EXT_STREAM_KIND_OFFSET),
                                          Word(record, EXT_STREAM_IS_OUTPUT_OFFSET)}),
              (std::vector<std::uint32_t>{cursor, 0, 0, 0, 1, kind, isOutput}));
    EXPECT_EQ(Field(record, EXT_STREAM_NAME_OFFSET, EXT_STREAM_NAME_SIZE), name);
    EXPECT_EQ(Field(record, EXT_STREAM_DESCRIPTION_OFFSET, EXT_STREAM_DESCRIPTION_SIZE),
              "Excel stream|" + std::string(EXT_STREAM_DESCRIPTION_SIZE - 13, '~'));
    EXPECT_EQ(Word(record, 0), 0x11111111u) << "the word at 0 is the host's";
  }
  // The end of the list, a cursor past it and query 2 give nothing and
  // change nothing; only query 2 is refused.
  const std::vector<unsigned char> atEnd = record.bytes;
  EXPECT_EQ(enumerate(1), -1);
  record.Put<std::uint32_t>(EXT_STREAM_CURSOR_OFFSET, 41);
  EXPECT_EQ(enumerate(1), -1);
  record.Put<std::uint32_t>(EXT_STREAM_CURSOR_OFFSET, 0xFFFFFFFFu);
  EXPECT_EQ(enumerate(2), -1);
  EXPECT_EQ(Message(), "");
  EXPECT_EQ(record.bytes[EXT_STREAM_NAME_OFFSET], atEnd[EXT_STREAM_NAME_OFFSET]);
  EXPECT_EQ(enumerate(0), 0);
  EXPECT_EQ(driver::EnumStreamsAtEdge(model_, nullptr, 1, Status()), 1);
  EXPECT_EQ(Message(), "Invalid stream record passed to Gridmoor::EnumStreams");
  EXPECT_TRUE(record.GuardsIntact());
}

// A refused get or set leaves the record's bytes as the host passed them and
// reaches no spreadsheet: a stream of another kind or none, a composition
// too large for the record, a record of another layout.
TEST_F(StreamEdgeTest, RefusedIprRequestsTouchNeitherRecordNorWorkbook) {
  const std::string incompatible =
      "This version of Gridmoor.dll is not compatible with the version of Conflux";
  casedata::CExcCaseDetails& details = model_.caseDetails;
  details.outputCount = 2;
  casedata::ResizeStreams(details.outputStreams, 2);
  details.useCompositions = 1;
  details.compositions.Add(std::make_unique<casedata::CExcCompositionDefinition>(
      "Gas", std::vector<std::string>(101, "C")));
  details.inputStreams.At(0)->compositionName = details.outputStreams.At(0)->compositionName =
      "Gas";
  details.inputStreams.At(0)->composition.componentTableCell =
      details.outputStreams.At(0)->composition.componentTableCell = "B20";
  for (const bool get : {true, false}) {
    const auto run = [&](void* record) {
      return get ? driver::GetIprAtEdge(model_, record, Status())
                 : driver::SetIprAtEdge(model_, record, Status());
    };
    const std::string invalid =
        std::string("Invalid handle passed to Gridmoor::") + (get ? "GetIPR" : "SetIPR");
    GuardedBuffer record = RandomIprRecord(get ? 7 : 8);
    // What, the handle and the message; Out-1 is 1, In-1 is 0.
    const std::tuple<const char*, std::uint32_t, std::string> cases[] = {
        {"the other kind", get ? 0u : 1u, invalid},
        {"past the outputs", 3, invalid},
        {"all bits set", 0xFFFFFFFFu, invalid},
        {"101 components", get ? 1u : 0u,
         "Composition Gas has 101 components; a stream carries at most 100"}};
    for (const auto& [what, handle, message] : cases) {
      SCOPED_TRACE(std::string(get ? "get, " : "set, ") + what);
      record.Put<std::uint32_t>(EXT_IPR_HANDLE_OFFSET, handle);
      const std::vector<unsigned char> before = record.bytes;
      recorder_->Clear();
      EXPECT_EQ(run(record.bytes.data()), 1);
      EXPECT_EQ(Message(), message);
      EXPECT_TRUE(record.bytes == before);
      EXPECT_EQ(recorder_->Transcript(), "");
    }
    // Only a record whose size word matches is opened.
    for (const std::uint32_t size : {EXT_IPR_RECORD_SIZE - 1, EXT_IPR_RECORD_SIZE + 1, 0}) {
      record.Put<std::uint32_t>(EXT_IPR_SIZE_OFFSET, size);
      const std::vector<unsigned char> refused = record.bytes;
      EXPECT_EQ(run(record.bytes.data()), 1) << size;
      EXPECT_EQ(Message(), incompatible);
      EXPECT_TRUE(record.bytes == refused);
    }
    EXPECT_EQ(run(nullptr), 1);
    EXPECT_EQ(Message(), incompatible);
  }
}

// Compositions are per stream: QueryComp refuses, GetStreamComposition
// fills the list with a stream's names cut to their slots, or says why not.
TEST_F(StreamEdgeTest, TheComponentListIsFilledOnlyWhenThereIsOneNamesCutToTheirSlots) {
  GuardedBuffer list(EXT_COMPONENT_LIST_RECORD_MIN_SIZE, kHostByte);
  const std::vector<unsigned char> untouched = list.bytes;
  const auto get = [&](std::int32_t stream) {
    return driver::GetStreamCompositionAtEdge(model_, list.bytes.data(), stream, Status());
  };
  EXPECT_EQ(get(0), 0) << "compositions are off";
  EXPECT_EQ(driver::QueryCompAtEdge(model_, Status()), -1);
  EXPECT_EQ(Message(), "");

  casedata::CExcCaseDetails& details = model_.caseDetails;
  details.useCompositions = 1;
  EXPECT_EQ(driver::QueryCompAtEdge(model_, Status()), 1);
  EXPECT_EQ(Message(),
            "Excel compositions are treated 'per stream' rather than 'per application'.\n"
            "QueryComp should not be called (contact Orvax)");
  details.inputCount = 2;
  casedata::ResizeStreams(details.inputStreams, 2);
  std::vector<std::string> hundred = {"C7+", "ABCDEFGHIJKLMNOPQRS", "exactly15chars!"};
  for (int i = 3; i < 100; ++i)
    hundred.push_back("Component-" + std::to_string(i) + "-long");
  for (const auto& [name, names] :
       {std::pair{"Oil", hundred}, {"Empty", {}}, {"Huge", std::vector<std::string>(101, "C")}})
    details.compositions.Add(std::make_unique<casedata::CExcCompositionDefinition>(name, names));
  details.inputStreams.At(1)->compositionName = "Empty";
  details.outputStreams.At(0)->compositionName = "Huge";
  const std::string invalid = "Invalid handle passed to Gridmoor::GetStreamComposition";
  const std::pair<std::int32_t, std::string> refused[] = {
      // A stream whose composition was renamed away has an empty name.
      {0, "Could not find composition ()"},
      {1, "Composition Empty has no components"},
      {2, "Composition Huge has 101 components; a stream carries at most 100"},
      {3, invalid},
      {-1, invalid}};
  for (const auto& [stream, message] : refused) {
    EXPECT_EQ(get(stream), -1) << message;
    EXPECT_EQ(Message(), message);
  }
  EXPECT_EQ(list.bytes, untouched);
  details.inputStreams.At(0)->compositionName = "Oil";
  EXPECT_EQ(driver::GetStreamCompositionAtEdge(model_, nullptr, 0, Status()), -1);
  EXPECT_EQ(Message(), "Invalid component list passed to Gridmoor::GetStreamComposition");
  EXPECT_EQ(get(0), 1);
  EXPECT_EQ(Word(list, EXT_COMPONENT_LIST_COUNT_OFFSET), 100u);
  const auto slot = [&](std::size_t i) {
    return Field(list, EXT_COMPONENT_LIST_NAMES_OFFSET + EXT_COMPONENT_LIST_NAME_SIZE * i,
                 EXT_COMPONENT_LIST_NAME_SIZE);
  };
  EXPECT_EQ((std::vector<std::string>{slot(0), slot(1), slot(2), slot(99)}),
            (std::vector<std::string>{"C7+|~~~~~~~~~~~~", "ABCDEFGHIJKLMNO|", "exactly15chars!|",
                                      "Component-99-lo|"}));
  EXPECT_EQ(Word(list, 0), 0x11111111u) << "the word at 0 is the host's";
  EXPECT_TRUE(list.GuardsIntact());
}

}  // namespace
