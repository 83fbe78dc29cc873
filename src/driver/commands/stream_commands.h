// The stream and composition commands at the host's edge: each reads the
// host's record into values, asks the model, writes what the model gave
// back into the record and answers with the outcome.
#pragma once

#include <cstdint>

#include "gridmoor/host.h"

namespace model {
class CExcModel;
}

namespace driver {

// Code 2: the stream after the record's cursor; `query` as the host gave it.
std::int32_t EnumStreamsAtEdge(model::CExcModel& model, void* streamRecord, std::int32_t query,
                               ExtStatusRecord* status);
// Code 9.
std::int32_t QueryCompAtEdge(model::CExcModel& model, ExtStatusRecord* status);
// Code 18: 1 when the component list was filled, 0 when compositions are
// off.
std::int32_t GetStreamCompositionAtEdge(model::CExcModel& model, void* componentList,
                                        std::int32_t stream, ExtStatusRecord* status);
// Codes 50 and 51. What a failed get read before failing reaches the record.
std::int32_t GetIprAtEdge(model::CExcModel& model, void* iprRecord, ExtStatusRecord* status);
std::int32_t SetIprAtEdge(model::CExcModel& model, void* iprRecord, ExtStatusRecord* status);

}  // namespace driver
