// Notes of a block's cells, kept across the office's block writes, which
// clear them.
#pragma once

#include <vector>

#include "excel/calc/calls/calc_objects.h"

namespace excel::calc {

// A cell note of a block, relative to the block.
struct KeptNote {
  sal_Int32 row = 0;
  sal_Int32 column = 0;
  rtl::OUString text;
  bool visible = false;
};

// The office's block writes (setDataArray, setFormulaArray) clear the notes
// of the cells they write, where a spreadsheet's value write keeps them:
// they are read before and put back after. A sheet without notes costs one
// call per write (their count); the block's notes are looked for only when
// the sheet has some.
std::vector<KeptNote> NotesIn(RangeHandles& handles);
// Puts back those of `notes` the write cleared.
void PutBackNotes(RangeHandles& handles, const std::vector<KeptNote>& notes);

}  // namespace excel::calc
