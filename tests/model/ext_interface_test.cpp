// The driver interface: the place of every operation in the table, and what
// the interface itself answers for the operations a model does not override.
#include "model/ext_interface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/guarded_buffer.h"

namespace {

using model::CExtInterface;

// The place of a virtual member function in the table: with the Itanium C++
// ABI a pointer to a virtual member holds 1 + its byte offset in the table.
template <typename Member>
std::ptrdiff_t SlotOf(Member member) {
  static_assert(sizeof(Member) == 2 * sizeof(std::uintptr_t));
  std::uintptr_t words[2];
  std::memcpy(words, &member, sizeof words);
  if ((words[0] & 1) == 0) return -1;  // not virtual
  return static_cast<std::ptrdiff_t>((words[0] - 1) / sizeof(void*));
}

TEST(ExtInterfaceTest, OperationsHoldTheirPlacesInTheTable) {
  const std::vector<std::pair<std::ptrdiff_t, std::ptrdiff_t>> places = {
      {SlotOf(&CExtInterface::EditCase), 0},
      {SlotOf(&CExtInterface::QueryNumber), 1},
      {SlotOf(&CExtInterface::SaveCaseWorkbook), 2},
      {SlotOf(&CExtInterface::EnumStreams), 3},
      {SlotOf(&CExtInterface::QueryComp), 4},
      {SlotOf(&CExtInterface::OnStartOfRun), 5},
      {SlotOf(&CExtInterface::OnNextTimestep), 6},
      {SlotOf(&CExtInterface::Reserved07), 7},
      {SlotOf(&CExtInterface::Reserved08), 8},
      {SlotOf(&CExtInterface::GetIPR), 9},
      {SlotOf(&CExtInterface::SetIPR), 10},
      {SlotOf(&CExtInterface::OnStopRun), 14},
      {SlotOf(&CExtInterface::OnEndOfRun), 15},
      {SlotOf(&CExtInterface::WriteCaseData), 16},
      {SlotOf(&CExtInterface::ReadCaseData), 17},
      {SlotOf(&CExtInterface::SetFileName), 18},
      {SlotOf(&CExtInterface::OpenCaseWorkbook), 19},
      {SlotOf(&CExtInterface::GetDataServerValue), 21},
      {SlotOf(&CExtInterface::Reserved22), 22},
      {SlotOf(&CExtInterface::SetDataServerValue), 24},
      {SlotOf(&CExtInterface::ExecuteCommand), 25},
      {SlotOf(&CExtInterface::GetDispatch), 26},
      {SlotOf(&CExtInterface::ReloadWorkbook), 30},
      {SlotOf(&CExtInterface::WriteModelData), 31},
      {SlotOf(&CExtInterface::ReadModelData), 32},
      {SlotOf(&CExtInterface::ChangeFileDirectory), 34},
      {SlotOf(&CExtInterface::Reserved35), 35},
      {SlotOf(&CExtInterface::GetNextEvent), 36},
      {SlotOf(&CExtInterface::SetDate), 37},
      {SlotOf(&CExtInterface::OnPreSolve), 38},
      {SlotOf(&CExtInterface::OnPostSolve), 39},
      {SlotOf(&CExtInterface::OnPostSolve2), 40},
      {SlotOf(&CExtInterface::OnEvent112), 41},
      {SlotOf(&CExtInterface::OnEvent113), 42},
      {SlotOf(&CExtInterface::OnStartOfTimestep), 43},
      {SlotOf(&CExtInterface::OnEndOfTimestep), 44},
      {SlotOf(&CExtInterface::GetStreamComposition), 45},
      {SlotOf(&CExtInterface::SetModelDataFile), 46},
      {SlotOf(&CExtInterface::GetFileLabel), 50},
      {SlotOf(&CExtInterface::StartApplication), 54},
      {SlotOf(&CExtInterface::ConnectToApplication), 55},
      {SlotOf(&CExtInterface::StopApplication), 56},
      {SlotOf(&CExtInterface::DescribeFiles), 57},
      {SlotOf(&CExtInterface::SetupOptimisation), 65},
      {SlotOf(&CExtInterface::CheckIntegerControls), 66},
      {SlotOf(&CExtInterface::GetObjectiveFunction), 68},
      {SlotOf(&CExtInterface::GetConstraints), 69},
      {SlotOf(&CExtInterface::SetControls), 70},
      {SlotOf(&CExtInterface::GetControls), 71},
      {SlotOf(&CExtInterface::SetIntegerControls), 72},
      {SlotOf(&CExtInterface::GetIntegerControls), 73},
      {SlotOf(&CExtInterface::ClearOptimisation), 74},
      {SlotOf(&CExtInterface::EditPublishedVariables), 80},
      {SlotOf(&CExtInterface::GetNextPublishedVariable), 81},
      {SlotOf(&CExtInterface::EvalPublishedVariables), 82},
      {SlotOf(&CExtInterface::EvalPublishedVariables2), 83},
      {SlotOf(&CExtInterface::QueryItem84), 84},
      {SlotOf(&CExtInterface::QueryItem85), 85},
      {SlotOf(&CExtInterface::AddPublishedVariable), 86},
      {SlotOf(&CExtInterface::ReadBatchProblem), 87},
      {SlotOf(&CExtInterface::WriteBatchOutput), 88},
      {SlotOf(&CExtInterface::DelPublishedVariable), 89},
      {SlotOf(&CExtInterface::Reserved90), 90},
      {SlotOf(&CExtInterface::GetFileDescription), 91},
      {SlotOf(&CExtInterface::Reserved11), 11},
      {SlotOf(&CExtInterface::Reserved12), 12},
      {SlotOf(&CExtInterface::Reserved13), 13},
      {SlotOf(&CExtInterface::Reserved20), 20},
      {SlotOf(&CExtInterface::Reserved23), 23},
      {SlotOf(&CExtInterface::Reserved27), 27},
      {SlotOf(&CExtInterface::Reserved28), 28},
      {SlotOf(&CExtInterface::Reserved29), 29},
      {SlotOf(&CExtInterface::Reserved33), 33},
      {SlotOf(&CExtInterface::Reserved47), 47},
      {SlotOf(&CExtInterface::Reserved48), 48},
      {SlotOf(&CExtInterface::Reserved49), 49},
      {SlotOf(&CExtInterface::Reserved51), 51},
      {SlotOf(&CExtInterface::Reserved52), 52},
      {SlotOf(&CExtInterface::Reserved53), 53},
      {SlotOf(&CExtInterface::Reserved58), 58},
      {SlotOf(&CExtInterface::Reserved59), 59},
      {SlotOf(&CExtInterface::Reserved60), 60},
      {SlotOf(&CExtInterface::Reserved61), 61},
      {SlotOf(&CExtInterface::Reserved62), 62},
      {SlotOf(&CExtInterface::Reserved63), 63},
      {SlotOf(&CExtInterface::Reserved64), 64},
      {SlotOf(&CExtInterface::Reserved67), 67},
      {SlotOf(&CExtInterface::Reserved75), 75},
      {SlotOf(&CExtInterface::Reserved76), 76},
      {SlotOf(&CExtInterface::Reserved77), 77},
      {SlotOf(&CExtInterface::Reserved78), 78},
      {SlotOf(&CExtInterface::Reserved79), 79},
  };
  for (const auto& [actual, expected] : places)
    EXPECT_EQ(actual, expected);
  EXPECT_EQ(places.size(), 92u);
  EXPECT_EQ(model::kInterfaceSlotCount, 92);
}

// Only the pure operations are defined, each answering a value that no base
// body gives.
constexpr std::int32_t kPure = 12345;

class BaseOnly final : public CExtInterface {
 public:
  std::int32_t EditCase(ExtWindow, std::uint32_t*, ExtStatusRecord*) override { return kPure; }
  std::int32_t QueryNumber(std::int32_t, ExtStatusRecord*) override { return kPure; }
  std::int32_t SaveCaseWorkbook(std::int32_t, const char*, ExtStatusRecord*) override {
    return kPure;
  }
  std::int32_t EnumStreams(void*, std::int32_t, ExtStatusRecord*) override { return kPure; }
  std::int32_t QueryComp(void*, ExtStatusRecord*) override { return kPure; }
  std::int32_t OnStartOfRun(void*, ExtStatusRecord*) override { return kPure; }
  std::int32_t OnNextTimestep(void*, ExtStatusRecord*) override { return kPure; }
  std::int32_t Reserved08() override { return kPure; }
  std::int32_t GetIPR(void*, ExtStatusRecord*) override { return kPure; }
  std::int32_t SetIPR(void*, ExtStatusRecord*) override { return kPure; }
  std::int32_t Reserved11() override { return kPure; }
  std::int32_t Reserved12() override { return kPure; }
  std::int32_t Reserved13() override { return kPure; }
  std::int32_t OnStopRun() override { return kPure; }
  std::int32_t OnEndOfRun() override { return kPure; }
  std::int32_t WriteCaseData(void*, std::uint32_t, ExtStatusRecord*) override { return kPure; }
  std::int32_t ReadCaseData(void*, ExtStatusRecord*) override { return kPure; }
  std::int32_t SetFileName(void*, ExtStatusRecord*) override { return kPure; }
};

struct Call {
  int slot;
  std::int32_t expected;
  // Calls the slot with `record` as every pointer argument, 7 as every
  // integer and `status` as the status record.
  std::function<std::int32_t(CExtInterface&, void*, ExtStatusRecord*)> call;
};

using I = CExtInterface&;
using S = ExtStatusRecord*;

const std::vector<Call>& BaseCalls() {
  static const std::vector<Call> calls = {
      {7, 0, [](I m, void*, S) { return m.Reserved07(); }},
      {19, 0, [](I m, void* r, S s) { return m.OpenCaseWorkbook(r, s); }},
      {20, 0, [](I m, void*, S) { return m.Reserved20(); }},
      {21, -1, [](I m, void* r, S s) { return m.GetDataServerValue(r, s); }},
      {22, -1, [](I m, void* r, S) { return m.Reserved22(r); }},
      {23, -1, [](I m, void*, S) { return m.Reserved23(); }},
      {24, -1, [](I m, void* r, S s) { return m.SetDataServerValue(r, s); }},
      {25, -1, [](I m, void* r, S s) { return m.ExecuteCommand(r, s); }},
      {26, -1, [](I m, void* r, S s) { return m.GetDispatch(r, s); }},
      {27, 0, [](I m, void*, S) { return m.Reserved27(); }},
      {28, 0, [](I m, void*, S) { return m.Reserved28(); }},
      {29, 0, [](I m, void*, S) { return m.Reserved29(); }},
      {30, 0, [](I m, void*, S s) { return m.ReloadWorkbook(s); }},
      {31, 0, [](I m, void* r, S s) { return m.WriteModelData(r, 7, s); }},
      {32, 0, [](I m, void* r, S s) { return m.ReadModelData(r, 7, s); }},
      {33, 0, [](I m, void*, S) { return m.Reserved33(); }},
      {34, 0, [](I m, void* r, S s) { return m.ChangeFileDirectory(static_cast<char*>(r), s); }},
      {35, 1, [](I m, void*, S) { return m.Reserved35(); }},
      {36, 1, [](I m, void* r, S) { return m.GetNextEvent(r); }},
      {37, 0, [](I m, void* r, S s) { return m.SetDate(r, 7, s); }},
      {38, 0, [](I m, void*, S s) { return m.OnPreSolve(s); }},
      {39, 0, [](I m, void*, S s) { return m.OnPostSolve(s); }},
      {40, 0, [](I m, void*, S s) { return m.OnPostSolve2(s); }},
      {41, 0, [](I m, void*, S s) { return m.OnEvent112(s); }},
      {42, 0, [](I m, void*, S s) { return m.OnEvent113(s); }},
      {43, 0, [](I m, void*, S s) { return m.OnStartOfTimestep(s); }},
      {44, 0, [](I m, void*, S s) { return m.OnEndOfTimestep(s); }},
      {45, 0, [](I m, void* r, S s) { return m.GetStreamComposition(r, 7, s); }},
      {46, 0, [](I m, void* r, S s) { return m.SetModelDataFile(static_cast<char*>(r), true, s); }},
      {47, 0, [](I m, void*, S) { return m.Reserved47(); }},
      {48, 0, [](I m, void*, S) { return m.Reserved48(); }},
      {49, 0, [](I m, void*, S) { return m.Reserved49(); }},
      {50, 0, [](I m, void* r, S s) { return m.GetFileLabel(static_cast<char*>(r), 7, s); }},
      {51, 0, [](I m, void*, S) { return m.Reserved51(); }},
      {52, 0, [](I m, void*, S) { return m.Reserved52(); }},
      {53, 0, [](I m, void*, S) { return m.Reserved53(); }},
      {54, 0, [](I m, void*, S s) { return m.StartApplication(7, s); }},
      {55, 1,
       [](I m, void* r, S s) {
         return m.ConnectToApplication(reinterpret_cast<std::intptr_t>(r), 7, s);
       }},
      {56, 0, [](I m, void*, S) { return m.StopApplication(); }},
      {57, 0, [](I m, void* r, S) { return m.DescribeFiles(static_cast<model::FileList*>(r)); }},
      {58, 0, [](I m, void*, S) { return m.Reserved58(); }},
      {59, 0, [](I m, void*, S) { return m.Reserved59(); }},
      {60, 0, [](I m, void*, S) { return m.Reserved60(); }},
      {61, 0, [](I m, void*, S) { return m.Reserved61(); }},
      {62, 0, [](I m, void*, S) { return m.Reserved62(); }},
      {63, 0, [](I m, void*, S) { return m.Reserved63(); }},
      {64, 0, [](I m, void*, S) { return m.Reserved64(); }},
      {65, 0, [](I m, void* r, S s) { return m.SetupOptimisation(r, 7, s); }},
      {66, 0, [](I m, void* r, S s) { return m.CheckIntegerControls(r, s); }},
      {67, 0, [](I m, void*, S) { return m.Reserved67(); }},
      {68, 0, [](I m, void* r, S s) { return m.GetObjectiveFunction(r, s); }},
      {69, 0, [](I m, void* r, S s) { return m.GetConstraints(r, s); }},
      {70, 0, [](I m, void* r, S s) { return m.SetControls(r, s); }},
      {71, 0, [](I m, void* r, S s) { return m.GetControls(r, s); }},
      {72, 0, [](I m, void* r, S s) { return m.SetIntegerControls(r, s); }},
      {73, 0, [](I m, void* r, S s) { return m.GetIntegerControls(r, s); }},
      {74, 0, [](I m, void*, S s) { return m.ClearOptimisation(7, s); }},
      {75, 0, [](I m, void*, S) { return m.Reserved75(); }},
      {76, 0, [](I m, void*, S) { return m.Reserved76(); }},
      {77, 0, [](I m, void*, S) { return m.Reserved77(); }},
      {78, 0, [](I m, void*, S) { return m.Reserved78(); }},
      {79, 0, [](I m, void*, S) { return m.Reserved79(); }},
      {80, 0, [](I m, void* r, S s) { return m.EditPublishedVariables(r, s); }},
      {81, 0, [](I m, void* r, S) { return m.GetNextPublishedVariable(r); }},
      {82, 0, [](I m, void* r, S s) { return m.EvalPublishedVariables(r, s); }},
      {83, 0, [](I m, void* r, S s) { return m.EvalPublishedVariables2(r, s); }},
      {84, 0, [](I m, void* r, S s) { return m.QueryItem84(r, s); }},
      {85, 0, [](I m, void* r, S s) { return m.QueryItem85(r, 7, s); }},
      {86, 0, [](I m, void* r, S s) { return m.AddPublishedVariable(r, s); }},
      {87, 0, [](I m, void* r, S s) { return m.ReadBatchProblem(r, true, s); }},
      {88, 0, [](I m, void* r, S s) { return m.WriteBatchOutput(r, s); }},
      {89, 0, [](I m, void*, S s) { return m.DelPublishedVariable(7, s); }},
      {90, 0, [](I m, void*, S) { return m.Reserved90(); }},
      {91, 0, [](I m, void* r, S s) { return m.GetFileDescription(r, 7, s); }},
  };
  return calls;
}

TEST(ExtInterfaceTest, EveryBaseBodyAnswersItsConstantAndTouchesNothingElse) {
  // Slots 0-6 and 8-18 are pure; every other slot has a base body.
  EXPECT_EQ(BaseCalls().size(), 92u - 18u);
  BaseOnly base;
  for (const Call& call : BaseCalls()) {
    SCOPED_TRACE("slot " + std::to_string(call.slot));
    test_support::GuardedBuffer record(1024, 0x5C);
    test_support::GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0x6D);
    auto* statusRecord = reinterpret_cast<ExtStatusRecord*>(status.bytes.data());
    EXPECT_EQ(call.call(base, record.bytes.data(), statusRecord), call.expected);

    std::vector<unsigned char> expectedRecord(1024, 0x5C);
    if (call.slot == 21) {
      std::memset(&expectedRecord[EXT_DS_READ_RESULT_OFFSET], 0, EXT_DS_READ_RESULT_SIZE);
    }
    if (call.slot == 22) std::memset(&expectedRecord[16], 0, 8);
    EXPECT_EQ(std::vector<unsigned char>(record.bytes.begin(), record.bytes.begin() + 1024),
              expectedRecord);
    EXPECT_TRUE(record.GuardsIntact());
    EXPECT_TRUE(status.GuardsIntact());
    if (call.slot == 55) {
      EXPECT_STREQ(statusRecord->text, "ConnectToApplication is not implemented");
    } else {
      EXPECT_EQ(status.bytes[4], 0x6D) << "the status record was written";
    }
  }
}

TEST(ExtInterfaceTest, BaseBodiesAcceptNullRecords) {
  BaseOnly base;
  for (const Call& call : BaseCalls()) {
    SCOPED_TRACE("slot " + std::to_string(call.slot));
    EXPECT_EQ(call.call(base, nullptr, nullptr), call.expected);
  }
}

}  // namespace
