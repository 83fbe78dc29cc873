#include "model/ext_interface.h"

namespace model {
namespace {

// "Nothing to give", without a message.
outcome::Error Nothing() {
  return outcome::Error::Failed(std::string(), outcome::kNone);
}

}  // namespace

std::int32_t CExtInterface::Reserved07() {
  return 0;
}

outcome::Error CExtInterface::OpenCaseWorkbook() {
  return outcome::Error::Success();
}

std::int32_t CExtInterface::Reserved20() {
  return 0;
}

// No data server: the empty text (the host never reads stale text), and
// nothing to give.
outcome::Partial<std::string> CExtInterface::GetDataServerValue(const casedata::TagRead& /*read*/) {
  return {std::string(), Nothing()};
}

outcome::Partial<std::uint64_t> CExtInterface::Reserved22() {
  return {0, Nothing()};
}

std::int32_t CExtInterface::Reserved23() {
  return -1;
}

outcome::Error CExtInterface::SetDataServerValue(const casedata::TagWrite& /*write*/) {
  return Nothing();
}

outcome::Error CExtInterface::ExecuteCommand(const casedata::CommandText& /*command*/) {
  return Nothing();
}

outcome::Expected<excel::Workbook*> CExtInterface::GetDispatch() {
  return Nothing();
}

std::int32_t CExtInterface::Reserved27() {
  return 0;
}

std::int32_t CExtInterface::Reserved28() {
  return 0;
}

std::int32_t CExtInterface::Reserved29() {
  return 0;
}

outcome::Error CExtInterface::ReloadWorkbook() {
  return outcome::Error::Success();
}

outcome::Partial<std::vector<std::uint8_t>> CExtInterface::WriteModelData(
    std::size_t /*capacity*/) {
  return {};
}

outcome::Error CExtInterface::ReadModelData() {
  return outcome::Error::Success();
}

std::int32_t CExtInterface::Reserved33() {
  return 0;
}

void CExtInterface::ChangeFileDirectory(const std::string& /*directory*/) {}

std::int32_t CExtInterface::Reserved35() {
  return 1;
}

std::optional<double> CExtInterface::GetNextEvent() {
  return std::nullopt;
}

void CExtInterface::SetDate(double /*dayBeforeRun*/) {}

outcome::Error CExtInterface::OnPreSolve() {
  return outcome::Error::Success();
}

outcome::Error CExtInterface::OnPostSolve() {
  return outcome::Error::Success();
}

outcome::Error CExtInterface::OnPostSolve2() {
  return outcome::Error::Success();
}

outcome::Error CExtInterface::IgnoreEvent112() {
  return outcome::Error::Success();
}

outcome::Error CExtInterface::IgnoreEvent113() {
  return outcome::Error::Success();
}

outcome::Error CExtInterface::OnStartOfTimestep() {
  return outcome::Error::Success();
}

outcome::Error CExtInterface::OnEndOfTimestep() {
  return outcome::Error::Success();
}

outcome::Expected<std::optional<casedata::ComponentList>> CExtInterface::GetStreamComposition(
    std::int32_t /*stream*/) {
  return std::optional<casedata::ComponentList>();
}

void CExtInterface::SetModelDataFile(const char* /*path*/, bool /*flag*/) {}

std::int32_t CExtInterface::Reserved47() {
  return 0;
}

std::int32_t CExtInterface::Reserved48() {
  return 0;
}

std::int32_t CExtInterface::Reserved49() {
  return 0;
}

std::optional<std::string> CExtInterface::GetFileLabel() {
  return std::nullopt;
}

std::int32_t CExtInterface::Reserved51() {
  return 0;
}

std::int32_t CExtInterface::Reserved52() {
  return 0;
}

std::int32_t CExtInterface::Reserved53() {
  return 0;
}

outcome::Error CExtInterface::StartApplication() {
  return outcome::Error::Success();
}

outcome::Error CExtInterface::ConnectToApplication(std::intptr_t /*first*/,
                                                   std::intptr_t /*second*/) {
  return outcome::Error::Failed("ConnectToApplication is not implemented");
}

std::int32_t CExtInterface::StopApplication() {
  return 0;
}

std::int32_t CExtInterface::DescribeFiles(xml::EquipmentDescription* /*description*/,
                                          std::uint8_t /*flag*/,
                                          const std::vector<std::string>& /*texts*/) {
  return 0;
}

std::int32_t CExtInterface::Reserved58() {
  return 0;
}

std::int32_t CExtInterface::Reserved59() {
  return 0;
}

std::int32_t CExtInterface::Reserved60() {
  return 0;
}

std::int32_t CExtInterface::Reserved61() {
  return 0;
}

std::int32_t CExtInterface::Reserved62() {
  return 0;
}

std::int32_t CExtInterface::Reserved63() {
  return 0;
}

std::int32_t CExtInterface::Reserved64() {
  return 0;
}

// An interface without an optimiser offers an empty problem and takes
// nothing.
outcome::Expected<casedata::OptimisationProblem> CExtInterface::SetupOptimisation(
    std::int32_t /*mode*/) {
  return casedata::OptimisationProblem{};
}

outcome::Error CExtInterface::CheckIntegerControls(const casedata::IntegerControlList& /*list*/) {
  return outcome::Error::Success();
}

std::int32_t CExtInterface::Reserved67() {
  return 0;
}

casedata::ItemReading CExtInterface::GetObjectiveFunction() {
  return {};
}

casedata::ItemReading CExtInterface::GetConstraints(std::int32_t /*handle*/) {
  return {};
}

outcome::Error CExtInterface::SetControls(const casedata::ItemValue& /*value*/) {
  return outcome::Error::Success();
}

casedata::ItemReading CExtInterface::GetControls(std::int32_t /*handle*/) {
  return {};
}

outcome::Error CExtInterface::SetIntegerControls(const casedata::ItemValue& /*value*/) {
  return outcome::Error::Success();
}

casedata::ItemReading CExtInterface::GetIntegerControls(std::int32_t /*handle*/) {
  return {};
}

void CExtInterface::ClearOptimisation(std::int32_t /*mask*/) {}

std::int32_t CExtInterface::Reserved75() {
  return 0;
}

std::int32_t CExtInterface::Reserved76() {
  return 0;
}

std::int32_t CExtInterface::Reserved77() {
  return 0;
}

std::int32_t CExtInterface::Reserved78() {
  return 0;
}

std::int32_t CExtInterface::Reserved79() {
  return 0;
}

outcome::Error CExtInterface::EditPublishedVariables(values::WindowHandle /*window*/) {
  return outcome::Error::Success();
}

std::optional<casedata::PublishedVariableInfo> CExtInterface::GetNextPublishedVariable(
    std::int32_t /*handle*/) {
  return std::nullopt;
}

outcome::Expected<std::string> CExtInterface::EvalPublishedVariables(
    const casedata::PublishedValueRequest& /*request*/) {
  return std::string();
}

outcome::Expected<const char*> CExtInterface::EvalPublishedVariablesAsBlock(
    const casedata::PublishedValueRequest& /*request*/) {
  return static_cast<const char*>(nullptr);
}

std::int32_t CExtInterface::DeclineQuery106() {
  return 0;
}

std::int32_t CExtInterface::DeclineQuery107(std::int32_t /*value*/) {
  return 0;
}

outcome::Expected<std::int32_t> CExtInterface::AddPublishedVariable(
    const casedata::NewPublishedVariable& /*added*/) {
  return std::int32_t{0};
}

outcome::Error CExtInterface::ReadBatchProblem(const casedata::BatchFiles& /*files*/,
                                               bool /*replace*/) {
  return outcome::Error::Success();
}

outcome::Error CExtInterface::WriteBatchOutput(const casedata::BatchPath& /*output*/) {
  return outcome::Error::Success();
}

outcome::Error CExtInterface::DelPublishedVariable(std::int32_t /*handle*/) {
  return outcome::Error::Success();
}

std::int32_t CExtInterface::Reserved90() {
  return 0;
}

}  // namespace model
