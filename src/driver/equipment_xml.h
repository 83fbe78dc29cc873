// The equipment description export: the model behind an instance handle
// describes its files, and the description is written as a "Model" XML
// document.
#pragma once

#include <cstdint>

#include "gridmoor/host.h"

namespace driver {

// 0 when the file was written; 1 when there is no model behind the handle,
// the model gives no description, or the file cannot be written (an earlier
// file is then left whole). `texts` may be null (no texts).
std::int32_t WriteEquipmentXml(ExtInstance instance, const ExtString* outputPath, std::uint8_t flag,
                               const ExtStringList* texts);

}  // namespace driver
