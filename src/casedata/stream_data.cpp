#include "casedata/stream_data.h"

#include <algorithm>
#include <cstring>

#include "automation/cell_address.h"
#include "text/ascii.h"

namespace casedata {

void CellField::Set(std::string_view text) {
  text = text.substr(0, std::min(text.find('\0'), kMaxLength));
  text_.fill('\0');
  std::memcpy(text_.data(), text.data(), text.size());
}

std::string_view CellField::view() const {
  return std::string_view(text_.data(), std::strlen(text_.data()));
}

bool CellField::IsBlank() const {
  return text::IsBlank(view());
}

const std::array<StreamRowInfo, kInputRowCount> kInputRows = {{
    {"Date", kNoKind},
    {"Oil Rate", kLiquidRate},
    {"Water Rate", kLiquidRate},
    {"Liquid Rate", kLiquidRate},
    {"Gas Rate", kGasRate},
    {"Pressure", kPressure},
    {"Temperature", kTemperature},
    {"Oil gravity", kNoKind},
    {"Water gravity", kNoKind},
    {"Gas gravity", kNoKind},
}};

const std::array<StreamRowInfo, kOutputRowCount> kOutputRows = {{
    {"Oil Rate", kLiquidRate},
    {"Water Rate", kLiquidRate},
    {"Gas Rate", kGasRate},
    {"Pressure", kPressure},
    {"Temperature", kTemperature},
    {"Oil gravity", kNoKind},
    {"Water gravity", kNoKind},
    {"Gas gravity", kNoKind},
}};

std::string InputStreamName(std::size_t index) {
  return "In-" + std::to_string(index + 1);
}

std::string OutputStreamName(std::size_t index) {
  return "Out-" + std::to_string(index + 1);
}

}  // namespace casedata
