// What a case lists for the host: its streams (EnumStreams), its
// compositions and their names, and a stream's component names
// (GetStreamComposition).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "case/case_details.h"
#include "case/composition.h"
#include "case/stream_data.h"
#include "gridmoor/host.h"
#include "streams/composition_ops.h"
#include "streams/stream_transfer.h"
#include "support/guarded_buffer.h"

namespace {

using streams::CExcclCompositionDefinition;
using streams::CExcCompositionDefinition;
using Strings = std::vector<std::string>;

CExcclCompositionDefinition ListOf(std::initializer_list<const char*> names) {
  CExcclCompositionDefinition list;
  for (const char* name : names)
    list.Add(std::make_unique<CExcCompositionDefinition>(name, std::vector<std::string>{"X"}));
  return list;
}

std::vector<std::string> NamesOf(const CExcclCompositionDefinition& list) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < list.size(); ++i)
    names.push_back(list.At(i)->name);
  return names;
}

TEST(CompositionListTest, FindIsExactAndNewNamesTakeTheSmallestFreeNumber) {
  const CExcclCompositionDefinition list = ListOf({"Gas", "Oil", "Gas", "gas "});
  int index = 99;
  EXPECT_EQ(streams::FindComposition(list, "Gas", &index), list.At(0)) << "the first of two";
  EXPECT_EQ(index, 0);
  EXPECT_EQ(streams::FindComposition(list, "gas "), list.At(3));
  for (const char* missing : {"gas", "GAS", "Gas ", "Oi", ""}) {
    EXPECT_EQ(streams::FindComposition(list, missing, &index), nullptr) << missing;
    EXPECT_EQ(index, -1);
  }
  EXPECT_EQ(list.At(1)->Key(), "Oil") << "a composition's key is its name";

  EXPECT_EQ(streams::MakeUniqueCompositionName(ListOf({})), "Comp1");
  EXPECT_EQ(streams::MakeUniqueCompositionName(ListOf({"Comp1", "Comp3"})), "Comp2");
  EXPECT_EQ(streams::MakeUniqueCompositionName(ListOf({"comp1", "Comp 1"})), "Comp1");
  EXPECT_EQ(streams::MakeUniqueCompositionName(ListOf({"Comp2", "Comp1", "Comp3"})), "Comp4");
}

TEST(CompositionListTest, ConfirmedNamesFollowTheNamingRules) {
  const struct {
    const char* what;
    std::vector<const char*> before;
    std::vector<std::string> typed;
    std::vector<std::string> after;
  } cases[] = {
      {"two rows named alike", {"A", "B"}, {"Gas", "Gas"}, {"Gas", "Comp1"}},
      {"a blank name", {"A", "B"}, {"Oil", "   "}, {"Oil", "Comp1"}},
      // The second still has its old name B when the first row is checked.
      {"swapped names", {"A", "B"}, {"B", "A"}, {"Comp1", "A"}},
      {"exact comparison", {"A", "B"}, {"gas", "Gas"}, {"gas", "Gas"}},
      // A blank row's new name avoids every current key, its own old one too.
      {"blank beside Comp names", {"Comp1", "X"}, {"Comp1", ""}, {"Comp1", "Comp2"}},
      {"fewer rows than compositions", {"A", "B"}, {"C"}, {"C", "B"}},
  };
  for (const auto& c : cases) {
    CExcclCompositionDefinition list;
    for (const char* name : c.before)
      list.Add(std::make_unique<CExcCompositionDefinition>(name, std::vector<std::string>{}));
    streams::ApplyCompositionNames(list, c.typed);
    EXPECT_EQ(NamesOf(list), c.after) << c.what;
  }
}

TEST(CompositionListTest, ComponentRowsStopAtTheFirstBlankAndAtOneHundred) {
  using Names = std::vector<std::string>;
  std::vector<std::string> many;
  for (int i = 0; i < 105; ++i)
    many.push_back("X" + std::to_string(i));
  const std::pair<Names, Names> cases[] = {
      {{"N2", "CO2", "  ", "C1"}, {"N2", "CO2"}},
      {{" N2 ", "a very long component name"}, {" N2 ", "a very long component name"}},
      {many, Names(many.begin(), many.begin() + 100)},
      {{}, {}}};
  CExcCompositionDefinition definition("Gas", {"old"});
  for (const auto& [typed, kept] : cases) {
    streams::SetComponentNames(definition, typed);
    EXPECT_EQ(definition.components, kept);
  }
}

TEST(CompositionListTest, Summaries) {
  const struct {
    std::vector<std::string> names;
    const char* text;
  } cases[] = {
      {{}, "0 components "},
      {{"X", "Y", "Z"}, "3 components (X Y Z)"},
      {{"Methane", "Ethane", "Propane", "IsoButane", "NormalButane", "IsoPentane"},
       "6 components (Methane Ethane Propane IsoButane NormalButane...)"},
      // 50 characters exactly is not yet too long; 51 is.
      {{std::string(17, 'A'), std::string(18, 'B')},
       "2 components (AAAAAAAAAAAAAAAAA BBBBBBBBBBBBBBBBBB)"},
      {{std::string(17, 'A'), std::string(19, 'B')},
       "2 components (AAAAAAAAAAAAAAAAA BBBBBBBBBBBBBBBBBBB...)"},
      {{std::string(60, 'L')},
       "1 components (LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL"
       "LLLLLLLLLL...)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(streams::DescribeComposition(CExcCompositionDefinition("c", c.names)), c.text);
  }
}

// A case of two inputs and one output, and the host's stream record and
// component list followed by guard bytes.
class StreamListTest : public ::testing::Test {
 protected:
  StreamListTest() {
    details_.inputCount = 2;
    details_.outputCount = 1;
    streams::ResizeStreams(details_.inputStreams, 2);
    streams::ResizeStreams(details_.outputStreams, 1);
    details_.useCompositions = 1;
    std::strcpy(Status()->text, "as before");
  }
  void TearDown() override {
    for (const auto* buffer : {&stream_, &list_, &status_})
      EXPECT_TRUE(buffer->GuardsIntact());
  }

  std::int32_t Next(std::int32_t query = 1, bool createFailed = false) {
    return streams::EnumStreams(details_, createFailed, stream_.bytes.data(), query, Status());
  }
  void Add(const std::string& name, std::vector<std::string> names) {
    details_.compositions.Add(std::make_unique<CExcCompositionDefinition>(name, std::move(names)));
  }
  std::int32_t Get(std::int32_t stream, bool createFailed = false) {
    return streams::GetStreamComposition(details_, createFailed, list_.bytes.data(), stream,
                                         Status());
  }
  ExtStatusRecord* Status() { return reinterpret_cast<ExtStatusRecord*>(status_.bytes.data()); }
  std::string Text() { return Status()->text; }
  static std::uint32_t Word(const test_support::GuardedBuffer& record, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, record.bytes.data() + offset, sizeof value);
    return value;
  }
  void SetCursor(std::uint32_t cursor) {
    std::memcpy(stream_.bytes.data() + EXT_STREAM_CURSOR_OFFSET, &cursor, sizeof cursor);
  }
  std::string StreamText(std::size_t offset) const {
    return reinterpret_cast<const char*>(stream_.bytes.data()) + offset;
  }
  // Name slots `first` ... `last` as they stand, NULs and host bytes (0x11)
  // after the text shown as "|" and "~".
  Strings Slots(std::size_t first, std::size_t last) const {
    Strings slots;
    for (std::size_t i = first; i <= last; ++i) {
      std::string slot(reinterpret_cast<const char*>(list_.bytes.data()) +
                           EXT_COMPONENT_LIST_NAMES_OFFSET + EXT_COMPONENT_LIST_NAME_SIZE * i,
                       EXT_COMPONENT_LIST_NAME_SIZE);
      std::replace(slot.begin(), slot.end(), '\0', '|');
      std::replace(slot.begin(), slot.end(), '\x11', '~');
      slots.push_back(slot);
    }
    return slots;
  }

  model::CExcCaseDetails details_;
  test_support::GuardedBuffer stream_{EXT_STREAM_RECORD_MIN_SIZE};
  test_support::GuardedBuffer list_{EXT_COMPONENT_LIST_RECORD_MIN_SIZE};
  test_support::GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

TEST_F(StreamListTest, EnumStreamsListsInputsThenOutputsFromTheStartCursor) {
  const std::tuple<std::uint32_t, std::uint32_t, const char*> expected[] = {
      {EXT_STREAM_KIND_INPUT, 0, "In-1"},
      {EXT_STREAM_KIND_INPUT, 0, "In-2"},
      {EXT_STREAM_KIND_OUTPUT, 1, "Out-1"}};
  SetCursor(0xFFFFFFFFu);
  std::uint32_t cursor = 0;
  for (const auto& [kind, isOutput, name] : expected) {
    ASSERT_EQ(Next(), 0) << name;
    // The cursor, words 12 ... 24, the kind and whether it is an output.
    EXPECT_EQ((std::vector<std::uint32_t>{Word(stream_, EXT_STREAM_CURSOR_OFFSET),
                                          Word(stream_, 12), Word(stream_, 16), Word(stream_, 20),
                                          Word(stream_, 24), Word(stream_, EXT_STREAM_KIND_OFFSET),
                                          Word(stream_, EXT_STREAM_IS_OUTPUT_OFFSET)}),
              (std::vector<std::uint32_t>{cursor++, 0, 0, 0, 1, kind, isOutput}));
    EXPECT_EQ(StreamText(EXT_STREAM_NAME_OFFSET), name);
    EXPECT_EQ(StreamText(EXT_STREAM_DESCRIPTION_OFFSET), "Excel stream");
    EXPECT_EQ(Word(stream_, 0), 0x11111111u) << "the word at 0 is the host's";
    // Only the texts and their terminators are written in the text fields.
    EXPECT_EQ(stream_.bytes[EXT_STREAM_DESCRIPTION_OFFSET + 13], 0x11);
    EXPECT_EQ(stream_.bytes[EXT_STREAM_NAME_OFFSET + 63], 0x11);
  }
  const std::vector<unsigned char> atEnd = stream_.bytes;
  EXPECT_EQ(Next(), -1);
  EXPECT_EQ(stream_.bytes, atEnd) << "the end of the list changes nothing";
  SetCursor(41);
  EXPECT_EQ(Next(), -1);
  EXPECT_EQ(Text(), "as before");

  SetCursor(0xFFFFFFFFu);
  const std::vector<unsigned char> start = stream_.bytes;
  EXPECT_EQ(Next(/*query=*/2), -1);
  EXPECT_EQ(Next(1, /*createFailed=*/true), 1);
  EXPECT_EQ(Text(), "There is no connection to Excel");
  EXPECT_EQ(stream_.bytes, start) << "query 2 and a failed start change nothing";
  EXPECT_EQ(Next(/*query=*/0), 0) << "only query 2 is refused";
  EXPECT_EQ(streams::EnumStreams(details_, false, nullptr, 1, Status()), 1);
  EXPECT_EQ(Text(), "Invalid stream record passed to Gridmoor::EnumStreams");
}

TEST_F(StreamListTest, QueryCompSaysCompositionsArePerStream) {
  details_.useCompositions = 0;
  EXPECT_EQ(streams::QueryComp(details_, Status()), -1);
  EXPECT_EQ(Text(), "as before");
  details_.useCompositions = 1;
  EXPECT_EQ(streams::QueryComp(details_, Status()), 1);
  EXPECT_EQ(Text(),
            "Excel compositions are treated 'per stream' rather than 'per application'.\n"
            "QueryComp should not be called (contact Orvax)");
}

TEST_F(StreamListTest, FillsTheListByteForByteForInputsAndOutputs) {
  std::vector<std::string> hundred = {"C7+", "ABCDEFGHIJKLMNOPQRS", "exactly15chars!"};
  for (int i = 3; i < 100; ++i)
    hundred.push_back("Component-" + std::to_string(i) + "-long");
  Add("Gas", {"N2", "CO2", "C1"});
  Add("Oil", hundred);
  details_.inputStreams.At(1)->compositionName = "Gas";
  details_.outputStreams.At(0)->compositionName = "Oil";
  const std::vector<unsigned char> before = list_.bytes;

  EXPECT_EQ(Get(1), 1);
  EXPECT_EQ(Word(list_, EXT_COMPONENT_LIST_COUNT_OFFSET), 3u);
  EXPECT_EQ(Slots(0, 3), (std::vector<std::string>{"N2|~~~~~~~~~~~~~", "CO2|~~~~~~~~~~~~",
                                                   "C1|~~~~~~~~~~~~~", "~~~~~~~~~~~~~~~~"}));
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 4, list_.bytes.begin()))
      << "the word at 0 is the host's";

  EXPECT_EQ(Get(2), 1);  // Out-1: names are cut to their slot, terminated
  EXPECT_EQ(Word(list_, EXT_COMPONENT_LIST_COUNT_OFFSET), 100u);
  EXPECT_EQ(Slots(0, 2),
            (std::vector<std::string>{"C7+|~~~~~~~~~~~~", "ABCDEFGHIJKLMNO|", "exactly15chars!|"}));
  EXPECT_EQ(Slots(99, 99), std::vector<std::string>{"Component-99-lo|"});
  EXPECT_EQ(Text(), "as before");
}

TEST_F(StreamListTest, FailuresLeaveTheRecordUntouched) {
  Add("Gas", {"C1"});
  Add("Empty", {});
  Add("Huge", std::vector<std::string>(101, "C"));
  details_.inputStreams.At(1)->compositionName = "Empty";
  details_.outputStreams.At(0)->compositionName = "Huge";
  const std::vector<unsigned char> before = list_.bytes;
  const std::string invalid = "Invalid handle passed to Gridmoor::GetStreamComposition";
  const std::tuple<std::int32_t, bool, std::string> cases[] = {
      {0, true, "There is no connection to Excel"},
      // A stream whose composition was renamed away has an empty name.
      {0, false, "Could not find composition ()"},
      {1, false, "Composition Empty has no components"},
      {2, false, "Composition Huge has 101 components; a stream carries at most 100"},
      {3, false, invalid},
      {-1, false, invalid},
  };
  for (const auto& [stream, createFailed, message] : cases) {
    std::strcpy(Status()->text, "");
    EXPECT_EQ(Get(stream, createFailed), -1) << message;
    EXPECT_EQ(Text(), message);
    EXPECT_EQ(list_.bytes, before) << message;
  }

  details_.inputStreams.At(0)->compositionName = "Gas";
  EXPECT_EQ(streams::GetStreamComposition(details_, false, nullptr, 0, Status()), -1);
  details_.useCompositions = 0;
  std::strcpy(Status()->text, "as before");
  EXPECT_EQ(Get(0), 0) << "compositions off";
  EXPECT_EQ(Text(), "as before");
  EXPECT_EQ(list_.bytes, before);
}

TEST_F(StreamListTest, StreamsForgetCompositionsNoLongerInTheList) {
  Add("Gas", {"C1"});
  details_.inputStreams.At(0)->compositionName = "Gas";
  details_.inputStreams.At(1)->compositionName = "Old";
  details_.outputStreams.At(0)->compositionName = "gas";  // names compare exactly
  streams::ClearStaleCompositionNames(details_);
  EXPECT_EQ((std::vector<std::string>{details_.inputStreams.At(0)->compositionName,
                                      details_.inputStreams.At(1)->compositionName,
                                      details_.outputStreams.At(0)->compositionName}),
            (std::vector<std::string>{"Gas", "", ""}));
}

}  // namespace
