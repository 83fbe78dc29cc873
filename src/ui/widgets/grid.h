// The grid the dialogs' tables are made of: a QTableWidget numbered as the
// dialogs think of it. Row 0 is the heading row and column 0 each row's
// label; data rows and columns start at 1. Headings and labels are the
// table's own header views, so they stay in place while the data scrolls
// and columns can be resized; a heading can still be a choice (a property
// grid's unit system), chosen from a menu on the heading.
//
// The keyboard: arrows move between cells; typing, F2 or a double click
// edits a cell; Enter commits an edit (or opens the cell's editor, presses
// its button, flips its box) and never ends the dialog; a choice changes
// only while its editor is open. Tab goes on to the current row's buttons,
// if its cells have any, and then leaves the grid.
#pragma once

#include <QStringList>
#include <QTableWidget>
#include <QValidator>
#include <algorithm>
#include <functional>
#include <vector>

class QAbstractButton;
class QPushButton;

namespace ui {

enum class CellKind { kText, kReadOnly, kChoice, kCheck, kButton };

// Heading texts, by index (1 "Cell" ... 21 "Row delimiter").
QString GridHeading(int index);

struct GridColumn {
  int heading = 0;  // index for GridHeading
  CellKind kind = CellKind::kText;
  QString choices;  // choice cells: the items, "\n" between them
  int width = 100;  // at least; widened to show the heading whole
  // Choice cells that also take a typed text (a worksheet not yet in the
  // workbook, or any worksheet while none is open).
  bool typed = false;
};

// What is wrong with a grid row: the cell to mark and why; no text: nothing.
struct RowProblem {
  int row = 0;
  int column = 0;
  QString text;
  bool Found() const { return !text.isEmpty(); }
};

// Accepts a text of at most `bytes` bytes in UTF-8: the case's cell fields
// have room for 15, and an editor must refuse more rather than cut it.
class ByteLimitValidator : public QValidator {
 public:
  ByteLimitValidator(int bytes, QObject* parent) : QValidator(parent), bytes_(bytes) {}
  State validate(QString& input, int& position) const override;

 private:
  int bytes_;
};

class Grid : public QTableWidget {
 public:
  Grid(int dataRows, std::vector<GridColumn> columns, const QString& corner, int labelWidth,
       QWidget* parent = nullptr);

  int DataRows() const { return rowCount(); }
  int DataColumns() const { return columnCount(); }
  // Adds or removes data rows at the end; new rows take their columns' kinds.
  void SetDataRows(int rows);
  // How many data rows the grid asks room for (all of them, up to 10, unless set).
  void SetShownRows(int rows) { shownRows_ = rows; }
  int ShownRows() const {
    return shownRows_ > 0 ? std::min(shownRows_, DataRows()) : std::min(DataRows(), 10);
  }

  QString Text(int row, int column) const;
  void SetText(int row, int column, const QString& text);

  void SetKind(int row, int column, CellKind kind, const QString& choices = {});
  CellKind Kind(int row, int column) const;
  QStringList Choices(int row, int column) const;

  // A choice cell's value: the index of its item (a heading choice shows
  // "heading: item"). A value the list cannot
  // show (an index outside it, or a text that is not an item) is shown as
  // it is and kept, so that storing gives it back unchanged; -1 for none.
  int Choice(int row, int column) const;
  void SetChoice(int row, int column, int index);
  void SetChoiceText(int row, int column, const QString& text);
  // As the user choosing an item: also tells the heading callback.
  void SelectChoice(int row, int column, int index);

  bool Checked(int row, int column) const;
  void SetChecked(int row, int column, bool checked);

  // Text cells of `column` take at most `bytes` UTF-8 bytes when typed.
  void SetMaxBytes(int column, int bytes);
  int MaxBytes(int column) const;
  bool ColumnTyped(int column) const;

  QPushButton* Button(int row, int column) const;
  void OnButton(std::function<void(int row, int column)> callback) {
    onButton_ = std::move(callback);
  }
  // Called when the user changes a cell of the heading row.
  void OnHeadingChanged(std::function<void(int column)> callback) {
    onHeading_ = std::move(callback);
  }
  // The menu of a heading that is a choice, under its heading.
  void ChooseHeading(int column);

  // Row checks: `check` says what is wrong with a data row. A row is checked
  // when the current cell leaves it and again, while marked, when one of its
  // cells changes; a faulty row is marked (colour and tooltip) until mended.
  // `name` is how messages name the grid ("Constraints").
  using RowCheck = std::function<RowProblem(int row)>;
  void SetRowCheck(const QString& name, RowCheck check);
  // Checks and marks one row; what is wrong with it.
  RowProblem CheckRow(int row);
  // Checks and marks every row; the first problem, or none.
  RowProblem CheckAll();
  // "Constraints, row 3: ..." for a problem, with the cell made current.
  QString Refuse(const RowProblem& problem);
  QString ProblemAt(int row, int column) const;

  // The current cell, in the grid's numbering (0: none).
  void SetCurrent(int row, int column);
  int CurrentRow() const { return currentRow() + 1; }
  int CurrentColumn() const { return currentColumn() + 1; }

  // Bulk filling: no redraw until Redraw.
  void SuspendRedraw() { setUpdatesEnabled(false); }
  void Redraw();
  // Empties the text of every cell in the rectangle (data cells only).
  void ClearRange(int top, int left, int bottom, int right);

  // Room for every column whole and the shown rows.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  using QTableWidget::edit;

 protected:
  // A button cell made current leaves the focus in the grid (the view would
  // give it to a button that takes focus); Tab reaches the button.
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTableWidgetItem* Item(int row, int column) const;
  // Makes the buttons of `row` (1 when there is no such row) the Tab stops
  // after the grid, in column order, and no other row's: a Tab stop for
  // each of 50 rows would keep Tab from the dialog's buttons.
  void TabToButtonsOf(int row);
  // Arrow keys on a focused button cell move from its cell, in the grid.
  bool MoveFromButton(QPushButton* button, QKeyEvent* event);
  void PaintCorner();
  void PrepareRow(int row);
  void ShowChoice(QTableWidgetItem* item, int row, int column, int index, const QString& text);
  void FitHeading(int column);

  std::vector<GridColumn> columns_;
  std::vector<int> maxBytes_;
  QString corner_;
  int shownRows_ = 0;
  std::function<void(int, int)> onButton_;
  std::function<void(int)> onHeading_;
  QString checkName_;
  RowCheck rowCheck_;
  bool marking_ = false;
  int tabRow_ = 0;
  QAbstractButton* cornerButton_ = nullptr;
};

// Whether a typed cell field can name a cell; blank counts as valid (a field
// that may stay empty).
bool IsCellText(const QString& text);
// What is wrong with a typed cell field: "\"B5x\" is not a cell address".
QString CellProblem(const QString& text);

}  // namespace ui
