#include "case/composition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "case/case_details.h"
#include "case/stream_data.h"
#include "gridmoor/host.h"
#include "streams/composition_ops.h"
#include "support/guarded_buffer.h"

namespace {

using streams::CExcclCompositionDefinition;
using streams::CExcCompositionDefinition;

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
      {"an empty name", {"A"}, {""}, {"Comp1"}},
      // The second still has its old name B when the first row is checked.
      {"swapped names", {"A", "B"}, {"B", "A"}, {"Comp1", "A"}},
      {"a name kept", {"Gas"}, {"Gas"}, {"Gas"}},
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

// QueryComp and GetStreamComposition on a case of two inputs and one output.
class CompositionOpsTest : public ::testing::Test {
 protected:
  CompositionOpsTest() {
    details_.inputCount = 2;
    details_.outputCount = 1;
    streams::ResizeStreams(details_.inputStreams, 2);
    streams::ResizeStreams(details_.outputStreams, 1);
    details_.useCompositions = 1;
    std::strcpy(Status()->text, "as before");
  }
  void TearDown() override {
    EXPECT_TRUE(list_.GuardsIntact());
    EXPECT_TRUE(status_.GuardsIntact());
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
  std::uint32_t Count() const {
    std::uint32_t count;
    std::memcpy(&count, list_.bytes.data() + EXT_COMPONENT_LIST_COUNT_OFFSET, sizeof count);
    return count;
  }
  // Name slots `first` ... `last` as they stand, NULs and host bytes (0x11)
  // after the text shown as "|" and "~".
  std::vector<std::string> Slots(std::size_t first, std::size_t last) const {
    std::vector<std::string> slots;
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
  test_support::GuardedBuffer list_{EXT_COMPONENT_LIST_RECORD_MIN_SIZE};
  test_support::GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

TEST_F(CompositionOpsTest, QueryCompSaysCompositionsArePerStream) {
  details_.useCompositions = 0;
  EXPECT_EQ(streams::QueryComp(details_, Status()), -1);
  EXPECT_EQ(Text(), "as before");
  details_.useCompositions = 1;
  EXPECT_EQ(streams::QueryComp(details_, Status()), 1);
  EXPECT_EQ(Text(),
            "Excel compositions are treated 'per stream' rather than 'per application'.\n"
            "QueryComp should not be called (contact Orvax)");
}

TEST_F(CompositionOpsTest, FillsTheListByteForByteForInputsAndOutputs) {
  std::vector<std::string> hundred = {"C7+", "ABCDEFGHIJKLMNOPQRS", "exactly15chars!"};
  for (int i = 3; i < 100; ++i)
    hundred.push_back("Component-" + std::to_string(i) + "-long");
  Add("Gas", {"N2", "CO2", "C1"});
  Add("Oil", hundred);
  details_.inputStreams.At(1)->compositionName = "Gas";
  details_.outputStreams.At(0)->compositionName = "Oil";
  const std::vector<unsigned char> before = list_.bytes;

  EXPECT_EQ(Get(1), 1);
  EXPECT_EQ(Count(), 3u);
  EXPECT_EQ(Slots(0, 3), (std::vector<std::string>{"N2|~~~~~~~~~~~~~", "CO2|~~~~~~~~~~~~",
                                                   "C1|~~~~~~~~~~~~~", "~~~~~~~~~~~~~~~~"}));
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 4, list_.bytes.begin()))
      << "the word at 0 is the host's";

  EXPECT_EQ(Get(2), 1);  // Out-1: names are cut to their slot, terminated
  EXPECT_EQ(Count(), 100u);
  EXPECT_EQ(Slots(0, 2),
            (std::vector<std::string>{"C7+|~~~~~~~~~~~~", "ABCDEFGHIJKLMNO|", "exactly15chars!|"}));
  EXPECT_EQ(Slots(99, 99), std::vector<std::string>{"Component-99-lo|"});
  EXPECT_EQ(Text(), "as before");
}

TEST_F(CompositionOpsTest, FailuresLeaveTheRecordUntouched) {
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

TEST_F(CompositionOpsTest, StreamsForgetCompositionsNoLongerInTheList) {
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
