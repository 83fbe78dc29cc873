// The grids and the keyboard: headers that stay, keys that move, edit and
// commit as a person expects, and button cells pressed with keys. (Tab
// reaching every button: the catalogue.)
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "ui/dialogs/case_dialog.h"
#include "ui/dialogs/composition_dialogs.h"
#include "ui/dialogs/optimiser_dialog.h"
#include "ui/dialogs/other_dialogs.h"
#include "ui/ui_fixture.h"

namespace {

using ui_test::Find;
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
};

}  // namespace

QTEST_MAIN(GridTest)
#include "grid_test.moc"
