#include "ui/widgets/grid.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <array>

#include "automation/cell_address.h"
#include "ui/widgets/pages.h"

namespace ui {
namespace {

constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kChoicesRole = Qt::UserRole + 2;
constexpr int kIndexRole = Qt::UserRole + 3;
constexpr int kProblemRole = Qt::UserRole + 4;
const QColor kProblemColour(255, 214, 214);

constexpr std::array<const char*, 22> kHeadings = {
    "",
    "Cell",
    "Unit",
    "Worksheet",
    "<=>",
    "Value",
    "Name",
    "Lower bound",
    "Upper bound",
    "Description",
    "Edit",
    "Delete",
    "Cascade DoSet in forecast from...",
    "Cascade direction",
    "Entry point",
    "Macro name",
    "Pass date as argument",
    "State name (optional)",
    "Region width",
    "Region height",
    "Column delimiter",
    "Row delimiter",
};

// Edits text cells with a line edit (limited where the column says) and
// choice cells with a drop-down list that cannot be typed into (unless its
// column takes typed names). Model indexes are one less than the grid's
// numbers: the headers are not rows or columns of the model.
class CellDelegate : public QStyledItemDelegate {
 public:
  explicit CellDelegate(Grid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    const auto kind = static_cast<CellKind>(index.data(kKindRole).toInt());
    if (kind == CellKind::kChoice) {
      auto* combo = new QComboBox(parent);
      combo->addItems(index.data(kChoicesRole).toStringList());
      combo->setEditable(grid_->ColumnTyped(index.column() + 1));
      return combo;
    }
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    const int bytes = grid_->MaxBytes(index.column() + 1);
    if (auto* line = qobject_cast<QLineEdit*>(editor); line != nullptr && bytes > 0) {
      line->setValidator(new ByteLimitValidator(bytes, line));
    }
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
      combo->setCurrentIndex(grid_->Choice(index.row() + 1, index.column() + 1));
      if (combo->isEditable()) combo->setCurrentText(index.data(Qt::DisplayRole).toString());
      return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
      const int row = index.row() + 1;
      const int column = index.column() + 1;
      if (combo->isEditable()) {
        grid_->SetChoiceText(row, column, combo->currentText());
        return;
      }
      // Leaving the list without choosing keeps a value it cannot show.
      if (combo->currentIndex() >= 0 && combo->currentIndex() != grid_->Choice(row, column)) {
        grid_->SelectChoice(row, column, combo->currentIndex());
      }
      return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
  }

 private:
  Grid* grid_;
};

}  // namespace

QString GridHeading(int index) {
  if (index < 0 || index >= static_cast<int>(kHeadings.size())) return {};
  return QString::fromUtf8(kHeadings[static_cast<std::size_t>(index)]);
}

QValidator::State ByteLimitValidator::validate(QString& input, int&) const {
  return input.toUtf8().size() <= bytes_ ? Acceptable : Invalid;
}

Grid::Grid(int dataRows, std::vector<GridColumn> columns, const QString& corner, int labelWidth,
           QWidget* parent)
    : QTableWidget(parent),
      columns_(std::move(columns)),
      maxBytes_(columns_.size() + 1, 0),
      corner_(corner) {
  setItemDelegate(new CellDelegate(this));
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setTabKeyNavigation(false);
  setCornerButtonEnabled(false);
  verticalHeader()->setDefaultSectionSize(22);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setHighlightSections(false);
  verticalHeader()->setHighlightSections(false);
  // The row labels' column is as wide as the widest label or the corner.
  const int margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this) + 8;
  verticalHeader()->setMinimumWidth(
      std::max(labelWidth, verticalHeader()->fontMetrics().horizontalAdvance(corner_) + margin));
  setColumnCount(static_cast<int>(columns_.size()));
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    auto* heading = new QTableWidgetItem(GridHeading(columns_[c].heading));
    heading->setData(kKindRole, static_cast<int>(CellKind::kReadOnly));
    setHorizontalHeaderItem(static_cast<int>(c), heading);
    FitHeading(static_cast<int>(c) + 1);
  }
  // The corner names the labels' column; Qt draws it as an empty button.
  cornerButton_ = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
  if (cornerButton_ != nullptr) cornerButton_->installEventFilter(this);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int section) { ChooseHeading(section + 1); });
  SetDataRows(dataRows);
  TabToButtonsOf(1);
  // A row is checked as it is left, and rechecked while marked so that a
  // mended row loses its mark at once.
  connect(this, &QTableWidget::currentCellChanged, this,
          [this](int row, int, int previousRow, int) {
            if (previousRow != row && previousRow >= 0) CheckRow(previousRow + 1);
            if (row >= 0) TabToButtonsOf(row + 1);
          });
  connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* changed) {
    const int row = changed->row() + 1;
    if (marking_ || row < 1) return;
    for (int column = 1; column <= DataColumns(); ++column) {
      if (!ProblemAt(row, column).isEmpty()) {
        CheckRow(row);
        return;
      }
    }
  });
}

void Grid::FitHeading(int column) {
  // Wide enough for the heading whole, with any of its choices.
  QStringList texts{GridHeading(columns_[static_cast<std::size_t>(column) - 1].heading)};
  for (const QString& choice : Choices(0, column))
    texts << texts.front() + ": " + choice;
  const QFontMetrics metrics(horizontalHeader()->font());
  const int margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this) + 8;
  int width = columns_[static_cast<std::size_t>(column) - 1].width;
  for (const QString& text : texts)
    width = std::max(width, metrics.horizontalAdvance(text) + margin);
  setColumnWidth(column - 1, width);
}

void Grid::SetDataRows(int rows) {
  const int old = DataRows();
  setRowCount(std::max(rows, 0));
  for (int row = old + 1; row <= DataRows(); ++row)
    PrepareRow(row);
}

void Grid::PrepareRow(int row) {
  auto* label = new QTableWidgetItem(QString::number(row));
  label->setData(kKindRole, static_cast<int>(CellKind::kReadOnly));
  setVerticalHeaderItem(row - 1, label);
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    SetKind(row, static_cast<int>(c) + 1, columns_[c].kind, columns_[c].choices);
  }
}

QTableWidgetItem* Grid::Item(int row, int column) const {
  if (row < 0 || column < 0 || (row == 0 && column == 0)) return nullptr;
  if (row == 0) return horizontalHeaderItem(column - 1);
  if (column == 0) return verticalHeaderItem(row - 1);
  return item(row - 1, column - 1);
}

QString Grid::Text(int row, int column) const {
  if (row == 0 && column == 0) return corner_;
  const QTableWidgetItem* cell = Item(row, column);
  return cell != nullptr ? cell->text() : QString();
}

void Grid::SetText(int row, int column, const QString& text) {
  if (QTableWidgetItem* cell = Item(row, column)) cell->setText(text);
}

void Grid::SetKind(int row, int column, CellKind kind, const QString& choices) {
  if (row < 0 || row > DataRows() || column < 1 || column > DataColumns()) return;
  auto* cell = new QTableWidgetItem;
  cell->setData(kKindRole, static_cast<int>(kind));
  switch (kind) {
    case CellKind::kText:
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
      break;
    case CellKind::kReadOnly:
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      break;
    case CellKind::kChoice:
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
      cell->setData(kChoicesRole,
                    choices.isEmpty() ? QStringList() : choices.split('\n', Qt::KeepEmptyParts));
      ShowChoice(cell, row, column, -1, {});
      break;
    case CellKind::kCheck:
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      cell->setCheckState(Qt::Unchecked);
      break;
    case CellKind::kButton:
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      break;
  }
  if (row == 0) {
    // A heading that is a choice: its menu opens from the heading.
    if (kind == CellKind::kChoice) cell->setToolTip("Click to choose");
    setHorizontalHeaderItem(column - 1, cell);
    FitHeading(column);
    return;
  }
  removeCellWidget(row - 1, column - 1);
  setItem(row - 1, column - 1, cell);
  if (kind == CellKind::kButton) {
    auto* button =
        new QPushButton(GridHeading(columns_[static_cast<std::size_t>(column) - 1].heading));
    // Only the current row's buttons are Tab stops (TabToButtonsOf).
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QPushButton::clicked, this, [this, row, column] {
      if (onButton_) onButton_(row, column);
    });
    setCellWidget(row - 1, column - 1, button);
    if (row == tabRow_) TabToButtonsOf(row);
  }
}

CellKind Grid::Kind(int row, int column) const {
  const QTableWidgetItem* cell = Item(row, column);
  return cell != nullptr ? static_cast<CellKind>(cell->data(kKindRole).toInt())
                         : CellKind::kReadOnly;
}

QStringList Grid::Choices(int row, int column) const {
  const QTableWidgetItem* cell = Item(row, column);
  return cell != nullptr ? cell->data(kChoicesRole).toStringList() : QStringList();
}

int Grid::Choice(int row, int column) const {
  const QTableWidgetItem* cell = Item(row, column);
  if (cell == nullptr || Kind(row, column) != CellKind::kChoice) return -1;
  const QVariant index = cell->data(kIndexRole);
  return index.isValid() ? index.toInt() : -1;
}

void Grid::ShowChoice(QTableWidgetItem* cell, int row, int column, int index, const QString& text) {
  cell->setData(kIndexRole, index);
  if (row == 0 && column >= 1 && column <= DataColumns()) {
    // A heading that is a choice still names its column.
    const QString heading = GridHeading(columns_[static_cast<std::size_t>(column) - 1].heading);
    cell->setText(text.isEmpty() ? heading : heading + ": " + text);
  } else {
    cell->setText(text);
  }
}

void Grid::SetChoice(int row, int column, int index) {
  QTableWidgetItem* cell = Item(row, column);
  if (cell == nullptr || Kind(row, column) != CellKind::kChoice) return;
  const QStringList items = Choices(row, column);
  if (index >= 0 && index < items.size()) {
    ShowChoice(cell, row, column, index, items[index]);
  } else {
    // Shown as the number it is, kept as it is.
    ShowChoice(cell, row, column, index, index < 0 ? QString() : QStringLiteral("#%1").arg(index));
  }
}

void Grid::SetChoiceText(int row, int column, const QString& text) {
  QTableWidgetItem* cell = Item(row, column);
  if (cell == nullptr || Kind(row, column) != CellKind::kChoice) return;
  ShowChoice(cell, row, column, static_cast<int>(Choices(row, column).indexOf(text)), text);
}

void Grid::SelectChoice(int row, int column, int index) {
  SetChoice(row, column, index);
  if (row == 0 && onHeading_) onHeading_(column);
}

bool Grid::Checked(int row, int column) const {
  const QTableWidgetItem* cell = Item(row, column);
  return cell != nullptr && cell->checkState() == Qt::Checked;
}

void Grid::SetChecked(int row, int column, bool checked) {
  if (QTableWidgetItem* cell = Item(row, column)) {
    cell->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  }
}

void Grid::SetMaxBytes(int column, int bytes) {
  if (column >= 0 && column < static_cast<int>(maxBytes_.size())) {
    maxBytes_[static_cast<std::size_t>(column)] = bytes;
  }
}

int Grid::MaxBytes(int column) const {
  return column >= 0 && column < static_cast<int>(maxBytes_.size())
             ? maxBytes_[static_cast<std::size_t>(column)]
             : 0;
}

void Grid::ChooseHeading(int column) {
  if (Kind(0, column) != CellKind::kChoice) return;
  QMenu menu(this);
  const QStringList items = Choices(0, column);
  for (int i = 0; i < items.size(); ++i) {
    QAction* action = menu.addAction(items[i]);
    action->setCheckable(true);
    action->setChecked(i == Choice(0, column));
    action->setData(i);
  }
  QHeaderView* header = horizontalHeader();
  const QPoint under(header->sectionViewportPosition(column - 1), header->height());
  if (QAction* chosen = menu.exec(header->viewport()->mapToGlobal(under))) {
    SelectChoice(0, column, chosen->data().toInt());
  }
}

QSize Grid::sizeHint() const {
  // The labels' header is at least as wide as asked (its own hint ignores that).
  int width = 2 * frameWidth() +
              std::max(verticalHeader()->sizeHint().width(), verticalHeader()->minimumWidth());
  for (int column = 0; column < columnCount(); ++column)
    width += columnWidth(column);
  const int shown = ShownRows();
  if (shown < DataRows()) width += verticalScrollBar()->sizeHint().width();
  const int height = 2 * frameWidth() + horizontalHeader()->sizeHint().height() +
                     shown * verticalHeader()->defaultSectionSize();
  return {width, height};
}

QSize Grid::minimumSizeHint() const {
  const QSize whole = sizeHint();
  const int rows = std::min(DataRows(), 3);
  return {std::min(whole.width(), 200), 2 * frameWidth() + horizontalHeader()->sizeHint().height() +
                                            rows * verticalHeader()->defaultSectionSize() +
                                            horizontalScrollBar()->sizeHint().height()};
}

bool Grid::ColumnTyped(int column) const {
  return column >= 1 && column <= static_cast<int>(columns_.size()) &&
         columns_[static_cast<std::size_t>(column) - 1].typed;
}

void Grid::SetRowCheck(const QString& name, RowCheck check) {
  checkName_ = name;
  rowCheck_ = std::move(check);
}

RowProblem Grid::CheckRow(int row) {
  if (!rowCheck_ || row < 1 || row > DataRows()) return {};
  RowProblem problem = rowCheck_(row);
  problem.row = row;
  marking_ = true;
  for (int column = 1; column <= DataColumns(); ++column) {
    QTableWidgetItem* cell = Item(row, column);
    if (cell == nullptr) continue;
    const bool marked = problem.Found() && column == problem.column;
    if (!marked && !cell->data(kProblemRole).isValid()) continue;
    cell->setData(kProblemRole, marked ? QVariant(problem.text) : QVariant());
    cell->setData(Qt::BackgroundRole, marked ? QVariant(QBrush(kProblemColour)) : QVariant());
    cell->setData(Qt::ToolTipRole, marked ? QVariant(problem.text) : QVariant());
  }
  if (QTableWidgetItem* label = Item(row, 0)) {
    label->setData(Qt::ToolTipRole, problem.Found() ? QVariant(problem.text) : QVariant());
    label->setData(Qt::BackgroundRole,
                   problem.Found() ? QVariant(QBrush(kProblemColour)) : QVariant());
  }
  marking_ = false;
  return problem;
}

RowProblem Grid::CheckAll() {
  RowProblem first;
  for (int row = 1; row <= DataRows(); ++row) {
    const RowProblem problem = CheckRow(row);
    if (problem.Found() && !first.Found()) first = problem;
  }
  return first;
}

void Grid::SetCurrent(int row, int column) {
  setCurrentCell(row - 1, column - 1);
}

QString Grid::Refuse(const RowProblem& problem) {
  SetCurrent(problem.row, problem.column);
  setFocus();
  return QString("%1, row %2: %3").arg(checkName_).arg(problem.row).arg(problem.text);
}

QString Grid::ProblemAt(int row, int column) const {
  const QTableWidgetItem* cell = Item(row, column);
  return cell != nullptr ? cell->data(kProblemRole).toString() : QString();
}

bool IsCellText(const QString& text) {
  return IsBlank(text) || automation::IsCellReference(Std(text));
}

QString CellProblem(const QString& text) {
  return IsCellText(text) ? QString() : QString("\"%1\" is not a cell address").arg(text);
}

void Grid::Redraw() {
  setUpdatesEnabled(true);
  viewport()->update();
}

void Grid::ClearRange(int top, int left, int bottom, int right) {
  for (int row = std::max(top, 1); row <= std::min(bottom, DataRows()); ++row) {
    for (int column = std::max(left, 1); column <= std::min(right, DataColumns()); ++column) {
      if (Kind(row, column) == CellKind::kChoice) {
        SetChoice(row, column, -1);
      } else if (Kind(row, column) == CellKind::kCheck) {
        SetChecked(row, column, false);
      } else {
        SetText(row, column, {});
      }
    }
  }
}

}  // namespace ui
