// The Calc application's WorkbookRecalculator: opens a private copy of a
// workbook in the office, recalculates it fully and reports its formula
// cells, sheets, macro modules and the function names Calc knows.
#pragma once

#include <memory>

#include "excel/recalculation.h"

namespace excel::calc {

// Each Recalculate starts or joins the office as an application object does
// and lets go of it again.
std::unique_ptr<WorkbookRecalculator> CreateCalcRecalculator();

}  // namespace excel::calc
