// The grid the dialogs' tables are made of: a QTableWidget numbered as the
// dialogs think of it. Row 0 holds the headings and column 0 each row's
// label; data rows and columns start at 1. Heading cells are table cells,
// not header views, so a heading can be a choice (a property grid's unit
// system).
#pragma once

#include <QStringList>
#include <QTableWidget>
#include <QValidator>
#include <functional>
#include <vector>

class QPushButton;

namespace ui {

enum class CellKind { kText, kReadOnly, kChoice, kCheck, kButton };

// Heading texts, by index (1 "Cell" ... 21 "Row delimiter").
QString GridHeading(int index);

struct GridColumn {
  int heading = 0;  // index for GridHeading
  CellKind kind = CellKind::kText;
  QString choices;  // choice cells: the items, "\n" between them
  int width = 100;
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

  int DataRows() const { return rowCount() - 1; }
  // Adds or removes data rows at the end; new rows take their columns' kinds.
  void SetDataRows(int rows);

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

  QPushButton* Button(int row, int column) const;
  void OnButton(std::function<void(int row, int column)> callback) {
    onButton_ = std::move(callback);
  }
  // Called when the user changes a cell of the heading row.
  void OnHeadingChanged(std::function<void(int column)> callback) {
    onHeading_ = std::move(callback);
  }

  // Bulk filling: no redraw until Redraw.
  void SuspendRedraw() { setUpdatesEnabled(false); }
  void Redraw();
  // Empties the text of every cell in the rectangle (data cells only).
  void ClearRange(int top, int left, int bottom, int right);

 private:
  QTableWidgetItem* Item(int row, int column) const;
  void PrepareRow(int row);
  void ShowChoice(QTableWidgetItem* item, int row, int column, int index, const QString& text);

  std::vector<GridColumn> columns_;
  std::vector<int> maxBytes_;
  std::function<void(int, int)> onButton_;
  std::function<void(int)> onHeading_;
};

}  // namespace ui
