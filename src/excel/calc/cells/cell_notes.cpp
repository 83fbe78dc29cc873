#include "excel/calc/cells/cell_notes.h"

#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XSheetAnnotationAnchor.hpp>
#include <com/sun/star/sheet/XSheetAnnotations.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSheetCellRange.hpp>
#include <com/sun/star/text/XSimpleText.hpp>

#include "excel/calc/cells/range_handles.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

CellSet NotedCells(RangeHandles& handles) {
  CellSet cells;
  AddCells(
      QueryOf(handles)->queryContentCells(css::sheet::CellFlags::ANNOTATION)->getRangeAddresses(),
      handles.area, cells);
  return cells;
}

uno::Reference<css::sheet::XSheetAnnotation> NoteOf(RangeHandles& handles, sal_Int32 row,
                                                    sal_Int32 column) {
  const uno::Reference<css::sheet::XSheetAnnotationAnchor> anchor(
      handles.range->getCellByPosition(column, row), uno::UNO_QUERY_THROW);
  return anchor->getAnnotation();
}

uno::Reference<css::sheet::XSheetAnnotations> SheetNotesOf(RangeHandles& handles) {
  {
    std::lock_guard lock(handles.mutex);
    if (handles.sheetNotes.is()) return handles.sheetNotes;
  }
  const uno::Reference<css::sheet::XSheetCellRange> range(handles.range, uno::UNO_QUERY_THROW);
  const uno::Reference<css::sheet::XSheetAnnotationsSupplier> supplier(range->getSpreadsheet(),
                                                                       uno::UNO_QUERY_THROW);
  const uno::Reference<css::sheet::XSheetAnnotations> notes = supplier->getAnnotations();
  std::lock_guard lock(handles.mutex);
  handles.sheetNotes = notes;
  return notes;
}

}  // namespace

std::vector<KeptNote> NotesIn(RangeHandles& handles) {
  std::vector<KeptNote> notes;
  if (SheetNotesOf(handles)->getCount() == 0) return notes;
  for (const auto& [row, column] : NotedCells(handles)) {
    const uno::Reference<css::sheet::XSheetAnnotation> note = NoteOf(handles, row, column);
    const uno::Reference<css::text::XSimpleText> text(note, uno::UNO_QUERY_THROW);
    notes.push_back(KeptNote{row, column, text->getString(), note->getIsVisible() != 0});
  }
  return notes;
}

void PutBackNotes(RangeHandles& handles, const std::vector<KeptNote>& notes) {
  if (notes.empty()) return;
  const CellSet remaining = NotedCells(handles);
  const uno::Reference<css::sheet::XSheetAnnotations> annotations = SheetNotesOf(handles);
  const sal_Int16 sheet = SheetIndexOf(handles);
  for (const KeptNote& note : notes) {
    if (remaining.count({note.row, note.column}) != 0) continue;
    annotations->insertNew(css::table::CellAddress(sheet, handles.area.firstColumn + note.column,
                                                   handles.area.firstRow + note.row),
                           note.text);
    if (note.visible) NoteOf(handles, note.row, note.column)->setIsVisible(true);
  }
}

}  // namespace excel::calc
