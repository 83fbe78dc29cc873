// The driver's entry points behind the C exports, and the table of live
// instances behind the handles they hand out.
//
// A handle is the address of the instance's model (direct mode) or of its
// DriverProxy (threaded mode). Every entry point looks the handle up in the
// table of live instances first, so a null, stale or foreign handle is
// answered with a message instead of being followed, and an instance being
// destroyed on one thread is never freed under a request running on another:
// destruction waits for that request to end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver_proxy.h"
#include "gridmoor/host.h"

namespace model {
class CExcModel;
}  // namespace model

namespace xml {
struct EquipmentDescription;
}  // namespace xml

namespace driver {

enum class Mode { kDirect, kThreaded };

inline constexpr char kNotCompatibleMessage[] =
    "Gridmoor.dll is not compatible with this version of Conflux";
inline constexpr char kCreateFailedFormat[] =
    "An error occurred in creating an Excel instance\n(%s)";
inline constexpr char kCouldNotStartMessage[] = "Could not start Excel";
inline constexpr char kNotClosedMessage[] = "The workbook could not be closed: Excel has ended";
inline constexpr char kUnknownInstanceMessage[] =
    "This Excel driver instance does not exist (it was never created or has been destroyed)";

// The process's mode, fixed when the library loads.
Mode ProcessMode();

// Builds a CExcModel.
ModelFactory DefaultModelFactory();

std::int32_t Identify(void* identifyRecord, ExtStatusRecord* status);
std::int32_t CreateInstance(Mode mode, ExtInstance* instance, ExtStatusRecord* status,
                            const ModelFactory& factory = DefaultModelFactory());
std::int32_t DestroyInstance(ExtInstance instance, ExtStatusRecord* status);
std::int32_t StartApp(ExtInstance instance, ExtStatusRecord* status);
std::int32_t StopApp(ExtInstance instance);
std::int32_t Command(ExtInstance instance, ExtWindow window, std::int32_t code, void* arg,
                     std::int32_t iarg, ExtStatusRecord* status);
std::int32_t Configure(ExtWindow parent);
void Help();

// The model's DescribeFiles, called on the calling thread while the
// instance is idle (the equipment description). 1 when there is no model.
std::int32_t DescribeInstanceFiles(ExtInstance instance, xml::EquipmentDescription& description,
                                   std::uint8_t flag, const std::vector<std::string>& texts);

// Live instances (tests).
std::size_t LiveInstanceCount();

}  // namespace driver
