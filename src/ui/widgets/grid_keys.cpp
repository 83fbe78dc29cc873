// The grid's keyboard: Enter and Space on cells, the menu key on a heading
// that is a choice, and Tab through the current row's button cells.
#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyleOptionHeader>
#include <QStylePainter>

#include "ui/widgets/grid.h"

namespace ui {

QPushButton* Grid::Button(int row, int column) const {
  return qobject_cast<QPushButton*>(cellWidget(row - 1, column - 1));
}

void Grid::TabToButtonsOf(int row) {
  if (row < 1 || row > DataRows()) row = 1;
  if (tabRow_ != row) {
    for (int column = 1; column <= DataColumns(); ++column) {
      if (QPushButton* button = Button(tabRow_, column)) button->setFocusPolicy(Qt::NoFocus);
    }
  }
  tabRow_ = row;
  QWidget* previous = this;
  for (int column = 1; column <= DataColumns(); ++column) {
    QPushButton* button = Button(row, column);
    if (button == nullptr) continue;
    button->setFocusPolicy(Qt::TabFocus);
    setTabOrder(previous, button);
    previous = button;
  }
}

bool Grid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  if (Kind(index.row() + 1, index.column() + 1) == CellKind::kButton) return false;
  return QTableWidget::edit(index, trigger, event);
}

bool Grid::MoveFromButton(QPushButton* button, QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
      break;
    default:
      return false;
  }
  setCurrentIndex(indexAt(button->geometry().center()));
  setFocus(Qt::OtherFocusReason);
  keyPressEvent(event);
  return true;
}

void Grid::contextMenuEvent(QContextMenuEvent* event) {
  // The menu key reaches the heading's choice from the keyboard.
  if (event->reason() == QContextMenuEvent::Keyboard &&
      Kind(0, CurrentColumn()) == CellKind::kChoice) {
    ChooseHeading(CurrentColumn());
    event->accept();
    return;
  }
  QTableWidget::contextMenuEvent(event);
}

// The view filters its cell widgets' events too (it makes a focused cell
// widget's cell current); the corner's painting is ours.
bool Grid::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cornerButton_ && event->type() == QEvent::Paint) {
    PaintCorner();
    return true;
  }
  auto* button = qobject_cast<QPushButton*>(watched);
  if (button != nullptr && button->parentWidget() == viewport() &&
      event->type() == QEvent::KeyPress && MoveFromButton(button, static_cast<QKeyEvent*>(event))) {
    return true;
  }
  return QTableWidget::eventFilter(watched, event);
}

void Grid::PaintCorner() {
  QStylePainter painter(cornerButton_);
  QStyleOptionHeader option;
  option.initFrom(cornerButton_);
  option.state |= QStyle::State_Enabled;  // shown as a heading, though it cannot be clicked
  option.rect = cornerButton_->rect();
  option.position = QStyleOptionHeader::OnlyOneSection;
  option.orientation = Qt::Horizontal;
  option.text = corner_;
  option.textAlignment = Qt::AlignCenter;
  painter.drawControl(QStyle::CE_Header, option);
}

void Grid::keyPressEvent(QKeyEvent* event) {
  const bool space = event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier;
  if (space && state() != EditingState &&
      Kind(CurrentRow(), CurrentColumn()) == CellKind::kButton) {
    if (QPushButton* button = Button(CurrentRow(), CurrentColumn())) button->click();
    event->accept();
    return;
  }
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
    QTableWidget::keyPressEvent(event);
    return;
  }
  // Enter belongs to the cell, never to the dialog's default button: it
  // commits an edit (the delegate has queued that), or it opens the current
  // cell's editor, presses its button or flips its box.
  event->accept();
  if (state() == EditingState) return;
  const int row = CurrentRow();
  const int column = CurrentColumn();
  switch (Kind(row, column)) {
    case CellKind::kButton:
      if (QPushButton* button = Button(row, column)) button->click();
      break;
    case CellKind::kCheck:
      SetChecked(row, column, !Checked(row, column));
      break;
    case CellKind::kText:
    case CellKind::kChoice:
      edit(currentIndex());
      break;
    case CellKind::kReadOnly:
      break;
  }
}

}  // namespace ui
