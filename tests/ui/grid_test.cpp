// The grids and the keyboard: headers that stay, keys that move, edit and
// commit as a person expects, and every button and field within reach.
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <utility>

#include "ui/dialogs/case_dialog.h"
#include "ui/dialogs/composition_dialogs.h"
#include "ui/dialogs/optimiser_dialog.h"
#include "ui/dialogs/other_dialogs.h"
#include "ui/ui_fixture.h"

namespace {

using ui_test::Find;
using ui_test::InGrid;
using ui_test::Key;
using ui_test::Open;
using ui_test::Type;

// An open editor is a visible one: a closed editor is hidden, then deleted later.
bool Editing(const ui::Grid* grid) {
  for (const QWidget* editor : grid->viewport()->findChildren<QWidget*>()) {
    if (editor->isVisible() && (qobject_cast<const QLineEdit*>(editor) != nullptr ||
                                qobject_cast<const QComboBox*>(editor) != nullptr)) {
      return true;
    }
  }
  return false;
}

// The widgets Tab and Shift+Tab stop at, in the dialog as it is shown.
QList<QWidget*> TabStops(QWidget* dialog) {
  QList<QWidget*> stops;
  QWidget* widget = dialog;
  do {
    widget = widget->nextInFocusChain();
    if (widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) &&
        widget->window() == dialog) {
      stops << widget;
    }
  } while (widget != dialog);
  return stops;
}

// Every button can be reached with Tab (in a grid, the current row's button
// cells and no other row's).
void CheckReach(QWidget* dialog, const QString& page) {
  const QList<QWidget*> stops = TabStops(dialog);
  for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
    if (!button->isVisible() || InGrid(button) || button->inherits("QTableCornerButton")) continue;
    QVERIFY2(stops.contains(button), qPrintable(page + ": Tab misses " + button->text()));
  }
  for (const ui::Grid* grid : dialog->findChildren<ui::Grid*>()) {
    if (!grid->isVisible()) continue;
    const int row = std::max(grid->CurrentRow(), 1);
    for (int r = 1; r <= grid->DataRows(); ++r) {
      for (int column = 1; column <= grid->DataColumns(); ++column) {
        QPushButton* button = grid->Button(r, column);
        if (button == nullptr) continue;
        QVERIFY2(stops.contains(button) == (r == row),
                 qPrintable(QString("%1: %2 of row %3 %4 a Tab stop")
                                .arg(page, button->text())
                                .arg(r)
                                .arg(r == row ? "is not" : "is")));
      }
    }
  }
}

class GridTest : public QObject {
  Q_OBJECT

 private slots:
  void headingsAndLabelsAreHeadersThatStayAndColumnsResize() {
    auto model = ui_test::MakeModel();
    ui::PublishedDialog dialog(*model);
    Open(&dialog);
    ui::Grid* grid = dialog.VariablesGrid();
    QCOMPARE(grid->rowCount(), 500);  // no heading row among the data
    QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QString("Name"));
    QCOMPARE(grid->model()->headerData(9, Qt::Vertical).toString(), QString("10"));
    grid->SetCurrent(480, 1);
    grid->scrollToBottom();
    QVERIFY(grid->verticalScrollBar()->value() > 0);
    QVERIFY(grid->horizontalHeader()->isVisible());
    QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    grid->horizontalHeader()->resizeSection(0, 300);
    QCOMPARE(grid->columnWidth(0), 300);
  }

  void arrowsMoveTypingEditsAndEnterCommitsWithoutClosing() {
    auto model = ui_test::MakeModel();
    ui_test::FillOptimisation(*model);
    ui_test::ScriptedSeams seams;
    ui::OptimiserDialog dialog(model::OptimiserPage::kControls, *model);
    Open(&dialog);
    auto* grid = Find<ui::Grid>(&dialog, "controlsGrid");
    grid->setFocus();
    grid->SetCurrent(1, 3);  // a worksheet choice
    Key(Qt::Key_Down);
    QCOMPARE(grid->CurrentRow(), 2);
    QCOMPARE(grid->Text(1, 3), QString("Wells"));  // moving never changes a choice
    Key(Qt::Key_Right);
    QCOMPARE(grid->CurrentColumn(), 4);
    Key(Qt::Key_Enter);  // not editing: opens the cell, the dialog stays
    QVERIFY(Editing(grid));
    QVERIFY(dialog.isVisible());
    Key(Qt::Key_Escape);
    QVERIFY(!Editing(grid));
    Type("D7");  // typing edits at once
    Key(Qt::Key_Return);
    QCOMPARE(grid->Text(2, 4), QString("D7"));
    QVERIFY(!Editing(grid));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
    Key(Qt::Key_F2);
    QVERIFY(Editing(grid));
    Key(Qt::Key_End);
    Type("0");
    Key(Qt::Key_Return);
    QCOMPARE(grid->Text(2, 4), QString("D70"));
    // An open choice changing with the arrows is the keyboard test's. A double
    // click edits too.
    grid->SetCurrent(3, 1);
    const QRect cell = grid->visualRect(grid->model()->index(2, 0));
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCoreApplication::processEvents();
    QVERIFY(Editing(grid));
  }

  void buttonCellsPressWithTheKeyboard() {
    casedata::CExcCaseDetails edited;
    ui_test::FillCase(edited);
    ui_test::ScriptedSeams seams;
    ui::CompositionListDialog dialog(edited.compositions);
    Open(&dialog);
    ui::Grid* grid = dialog.ListGrid();
    grid->setFocus();
    grid->SetCurrent(2, 1);
    Key(Qt::Key_Space);  // "Edit" on Oil's row
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    QCOMPARE(grid->CurrentColumn(), 4);
    Key(Qt::Key_Enter);  // "Delete" on Oil's row
    QCOMPARE(seams.modalTitles, QStringList{"Set up a composition"});
    QCOMPARE(edited.compositions.size(), std::size_t{1});
    QVERIFY(dialog.isVisible());
  }

  void everyButtonIsATabStop() {
    ui_test::ScriptedSeams seams;
    ui_test::EveryDialog every;
    for (const auto& dialog : every.dialogs) {
      Open(dialog.get());
      ui_test::EachPage(dialog.get(),
                        [&dialog](int, const QString& where) { CheckReach(dialog.get(), where); });
    }
  }

  // Tab from a row of the list of compositions stops at its Edit and Delete,
  // then at OK (the keyboard test presses them); Shift+Tab comes back the same
  // way, and the arrows go back into the grid from a button.
  void tabReachesTheButtonsOfTheCurrentRow() {
    casedata::CExcCaseDetails edited;
    ui_test::FillCase(edited);
    ui_test::ScriptedSeams seams;
    ui::CompositionListDialog dialog(edited.compositions);
    Open(&dialog);
    ui::Grid* grid = dialog.ListGrid();
    QPushButton* ok = Find<QDialogButtonBox>(&dialog, "buttons")->button(QDialogButtonBox::Ok);
    grid->setFocus();
    grid->SetCurrent(2, 2);  // Oil's name
    Key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), grid->Button(2, 1));
    QCOMPARE(grid->CurrentColumn(), 1);  // the focused button's cell is current
    Key(Qt::Key_Tab);
    Key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), ok);
    Key(Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), grid->Button(2, 4));
    Key(Qt::Key_Backtab);
    Key(Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), grid);
    Key(Qt::Key_Right);
    Key(Qt::Key_Left);  // onto the button cell: the focus stays in the grid
    QCOMPARE(QApplication::focusWidget(), grid);
    QCOMPARE(grid->CurrentColumn(), 1);
    Key(Qt::Key_Down);  // row 3: its buttons are the stops now
    Key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), grid->Button(3, 1));
    Key(Qt::Key_Up);  // from the button, in the grid
    QCOMPARE(QApplication::focusWidget(), grid);
    QCOMPARE(std::pair(grid->CurrentRow(), grid->CurrentColumn()), std::pair(2, 1));
    QVERIFY(seams.modalTitles.isEmpty());
  }
};

}  // namespace

QTEST_MAIN(GridTest)
#include "grid_test.moc"
