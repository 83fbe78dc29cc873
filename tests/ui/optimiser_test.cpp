// The optimisation set-up: objective warnings, Cancel, the rebuilt lists,
// integer controls.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <clocale>

#include "gridmoor/host.h"
#include "ui/dialogs/optimiser_dialog.h"
#include "ui/ui_fixture.h"

namespace {

using ui_test::FillRow;
using ui_test::Find;

class OptimiserTest : public QObject {
  Q_OBJECT

 private slots:
  // A blank or bad objective field warns when the page is left and on OK:
  // the page stays, everything typed is kept and nothing stored. Mended, OK
  // stores it all; Cancel puts every item back.
  void objectiveWarningsKeepThePageAndStoreNothing() {
    const struct {
      const char* worksheet;
      const char* cell;
      const char* message;
      bool ok;  // mended, OK; else Cancel
    } cases[] = {{"  ", "B5", "A worksheet must be specified", false},
                 {"", "F12", "A worksheet must be specified", true},
                 {"Wells", " ", "A worksheet cell must be specified", false},
                 {"Wells", "F12x", "Objective function: \"F12x\" is not a cell address", true}};
    for (const auto& c : cases) {
      ui_test::ScriptedSeams seams;
      auto model = ui_test::FilledModel();
      ui::OptimiserDialog dialog(model::OptimiserPage::kObjectiveAndConstraints, *model);
      Find<QComboBox>(&dialog, "objectiveWorksheet")->setCurrentText(c.worksheet);
      Find<QLineEdit>(&dialog, "objectiveCell")->setText(c.cell);
      Find<QComboBox>(&dialog, "mode")->setCurrentIndex(1);
      Find<QLineEdit>(&dialog, "objectiveName")->setText("Changed");
      auto* grid = Find<ui::Grid>(&dialog, "constraintsGrid");
      grid->SetText(1, 6, "9");
      FillRow(grid, 2, {"Cap", "", "Wells", "F15", "Less than", "9"});
      dialog.Tabs()->setCurrentIndex(1);
      QCOMPARE(dialog.Tabs()->currentIndex(), 0);
      dialog.accept();
      QVERIFY(dialog.result() != QDialog::Accepted);
      QCOMPARE(seams.messages.size(), std::size_t{2});
      for (const auto& message : seams.messages) {
        QCOMPARE(message.title, QString("Error"));
        QCOMPARE(message.text, QString(c.message));
        QVERIFY(message.icon == ui::MessageIcon::kWarning);
      }
      QCOMPARE(model->objective.worksheet, std::string("Wells"));
      QVERIFY(model->objective.Maximise);
      QCOMPARE(model->objective.name, std::string("Total oil"));
      QCOMPARE(model->constraints.size(), std::size_t{1});
      QCOMPARE(model->constraints.At(0)->Limit, 6.0);
      QCOMPARE(grid->Text(2, 6), QString("9"));
      Find<QComboBox>(&dialog, "objectiveWorksheet")->setCurrentText("Sep");
      Find<QLineEdit>(&dialog, "objectiveCell")->setText("G1");
      if (c.ok) {
        dialog.accept();
        QVERIFY(dialog.result() == QDialog::Accepted);
        QVERIFY(model->objective.Defined);
        QCOMPARE(model->objective.worksheet, std::string("Sep"));
        QCOMPARE(model->constraints.size(), std::size_t{2});
        continue;
      }
      dialog.Tabs()->setCurrentIndex(2);
      QCOMPARE(model->objective.name, std::string("Changed"));
      QCOMPARE(model->constraints.At(0)->Limit, 9.0);
      Find<QPushButton>(&dialog, "clear")->click();
      dialog.reject();
      QCOMPARE(model->objective.cell, std::string("F12"));
      QCOMPARE(model->intControls.size() + model->controls.size() + model->constraints.size(),
               std::size_t{5});
    }
  }

  void clearedObjectiveStoresOnlyDefinedAndConstraintsAreRebuiltFromCompleteRows() {
    ui_test::ScriptedSeams seams;
    auto model = ui_test::MakeModel();
    ui_test::FillOptimisation(*model);
    ui::OptimiserDialog dialog(model::OptimiserPage::kObjectiveAndConstraints, *model);
    QCOMPARE(dialog.Tabs()->currentIndex(), 0);  // opens on the page asked
    Find<QCheckBox>(&dialog, "defined")->setChecked(false);
    Find<QLineEdit>(&dialog, "objectiveCell")->setText("");
    Find<QLineEdit>(&dialog, "objectiveName")->setText("Ignored");
    auto* grid = Find<ui::Grid>(&dialog, "constraintsGrid");
    QCOMPARE(grid->Choices(1, 5), QStringList({"Less than", "Equal to", "Greater than"}));
    FillRow(grid, 1, {"a", "u", "Wells", "B1", "Less than", "1.5"});
    FillRow(grid, 2, {"b", "", "Sep", "B2", "Equal to", "-2e3"});
    FillRow(grid, 3, {"c", "", "Wells", "B3", "Greater than", " 7 "});
    FillRow(grid, 9, {"", "", "Missing", "B9", "Less than", "3.2e35"});
    dialog.accept();
    QVERIFY(seams.messages.empty());
    QVERIFY(!model->objective.Defined);
    QCOMPARE(model->objective.cell, std::string("F12"));
    QCOMPARE(model->objective.name, std::string("Total oil"));
    QCOMPARE(model->constraints.size(), std::size_t{4});  // Lift gas's row 1 overwritten
    QCOMPARE(model->constraints.At(0)->ConstraintType, 0u);
    QCOMPARE(model->constraints.At(0)->Limit, 1.5);
    QCOMPARE(model->constraints.At(1)->ConstraintType, 1u);
    QCOMPARE(model->constraints.At(1)->Limit, -2000.0);
    QCOMPARE(model->constraints.At(2)->ConstraintType, 2u);
    QCOMPARE(model->constraints.At(3)->worksheet,
             std::string("Missing"));  // not a cached sheet: kept
  }

  void controlsKeepBoundRowsAndReadBoundsInAnyLocale() {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    ui_test::ScriptedSeams seams;
    auto model = ui_test::MakeModel();
    ui_test::FillOptimisation(*model);
    ui::OptimiserDialog dialog(model::OptimiserPage::kControls, *model);
    auto* grid = Find<ui::Grid>(&dialog, "controlsGrid");
    QCOMPARE(grid->Text(1, 6), QString("1.5"));
    FillRow(grid, 2, {"W2", "", "Wells", "C6", "", ""});
    FillRow(grid, 4, {"", "", "Sep", "D1", "0.25", "1,5"});
    dialog.accept();  // a decimal comma is refused in every locale
    QCOMPARE(seams.messages.back().text, QString("Controls, row 4: \"1,5\" is not a number"));
    grid->SetText(4, 6, "");
    dialog.accept();
    std::setlocale(LC_NUMERIC, previous.c_str());
    QCOMPARE(model->controls.size(), std::size_t{4});
    QCOMPARE(model->controls.At(1)->LowerBound, EXT_UNDEFINED_VALUE);  // empty: no bound
    QCOMPARE(model->controls.At(1)->UpperBound, EXT_UNDEFINED_VALUE);
    QCOMPARE(model->controls.At(2)->UpperBound, 1.5);
    QCOMPARE(model->controls.At(3)->LowerBound, 0.25);
    QCOMPARE(model->controls.At(3)->UpperBound, EXT_UNDEFINED_VALUE);
  }

  void gridsHoldEveryItemOfLongLists() {
    ui_test::ScriptedSeams seams;
    auto model = ui_test::MakeModel();
    for (int i = 0; i < 150; ++i) {
      auto control = std::make_unique<casedata::CExcControlVariable>();
      control->worksheet = "Wells";
      control->cell = "A" + std::to_string(i + 1);
      model->controls.Add(std::move(control));
    }
    ui::OptimiserDialog dialog(model::OptimiserPage::kControls, *model);
    QCOMPARE(dialog.Tabs()->currentIndex(), 1);  // opens on the page asked
    QCOMPARE(Find<ui::Grid>(&dialog, "controlsGrid")->DataRows(), 150);
    dialog.accept();
    QCOMPARE(model->controls.size(), std::size_t{150});
  }

  void integerControlsAddSwitchAndClear() {
    ui_test::ScriptedSeams seams;
    auto model = ui_test::MakeModel();
    ui_test::FillOptimisation(*model);
    ui::OptimiserDialog dialog(model::OptimiserPage::kObjectiveAndConstraints, *model);
    dialog.Tabs()->setCurrentIndex(2);
    auto* list = Find<QListWidget>(&dialog, "integerControls");
    auto* label = Find<QLabel>(&dialog, "statesLabel");
    QCOMPARE(label->text(), QString("Available states for variable: IntCtrl001"));
    auto* states = Find<ui::Grid>(&dialog, "statesGrid");
    QCOMPARE(states->DataRows(), 20);
    QCOMPARE(states->Text(2, 1), QString("Open"));
    // Edits of the shown control, states included, survive the switch.
    Find<QLineEdit>(&dialog, "name")->setText("Choke");
    Find<QLineEdit>(&dialog, "cell")->setText("D10");
    states->SetText(2, 1, "");
    states->SetText(2, 2, "");
    states->SetText(4, 1, "Half");
    states->SetText(4, 2, "0.5");
    Find<QPushButton>(&dialog, "add")->click();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(1)->text(), QString("IntCtrl001"));  // the number was freed by the rename
    QCOMPARE(list->item(0)->text(), QString("Choke"));
    const casedata::CExcIntCtrlVariable& choke = *model->intControls.At(0);
    QCOMPARE(choke.cell, std::string("D10"));
    QCOMPARE(choke.StateCount, 2);
    QCOMPARE(choke.StateValues[1], std::string("0.5"));
    QCOMPARE(choke.StateNames[1], std::string("Half"));
    QCOMPARE(label->text(), QString("Available states for variable: IntCtrl001"));
    list->setCurrentRow(0);
    QCOMPARE(Find<QLineEdit>(&dialog, "cell")->text(), QString("D10"));
    Find<QPushButton>(&dialog, "clear")->click();
    QCOMPARE(list->count(), 0);
    QCOMPARE(label->text(), QString("Available states for variable: "));
    dialog.accept();
    QVERIFY(model->intControls.empty());
  }
};

}  // namespace

QTEST_MAIN(OptimiserTest)
#include "optimiser_test.moc"
