// Input the host would have lost without a word: each case is refused with
// one message naming the row, the dialog stays open, the typed row keeps
// its texts and is marked, and once mended it is stored as before. The
// published-variables editor's rows, sizes and Clear; the optimisation
// set-up's objective warnings, Cancel, rebuilt lists and integer controls.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <clocale>
#include <sstream>
#include <tuple>

#include "casedata/exported_variable.h"
#include "gridmoor/host.h"
#include "ui/dialogs/optimiser_dialog.h"
#include "ui/dialogs/other_dialogs.h"
#include "ui/ui_fixture.h"

namespace {

using ui_test::FilledModel;
using ui_test::FillRow;
using ui_test::Find;

// One faulty row typed into a grid, the message OK gives, the cell that
// mends it and the item stored then (as Stored gives it).
struct RowCase {
  const char* name;
  int page;  // optimiser page: 0 constraints, 1 controls; -1: the published-variables editor
  int row;
  const char* typed;  // the row's texts from column 1, separated by '|'
  const char* message;
  int mendColumn;
  const char* mendText;
  const char* stored;
};

const RowCase kRowCases[] = {
    {"constraint with no <=>", 0, 2, "Cap||Wells|F15||7", "Constraints, row 2: \"<=>\" is blank", 5,
     "Less than", "2: Wells!F15 type 0 limit 7"},
    {"constraint value 1x", 0, 2, "Cap||Wells|F15|Equal to|1x",
     "Constraints, row 2: \"1x\" is not a number", 6, "1", "2: Wells!F15 type 1 limit 1"},
    {"cell B5x", 1, 4, "W4||Wells|B5x", "Controls, row 4: \"B5x\" is not a cell address", 4, "B5",
     "4: Wells!B5 from 3.4e+35 to 3.4e+35"},
    {"published row with no worksheet", -1, 2, "Gas|||F13",
     "Published variables, row 2: \"Worksheet\" is blank", 3, "Wells",
     "2: Wells!F13 cascade  width 1"},
    {"width 2.9", -1, 2, "Gas||Wells|F13|||2.9",
     "Published variables, row 2: \"2.9\" is not a whole number from 1 to 10000", 7, "3",
     "2: Wells!F13 cascade  width 3"},
    {"height 20000", -1, 2, "Gas||Wells|F13||||20000",
     "Published variables, row 2: \"20000\" is not a whole number from 1 to 10000", 8, "",
     "2: Wells!F13 cascade  width 1"},
    {"cascade cell 12", -1, 3, "Gas||Wells|F13|12",
     "Published variables, row 3: \"12\" is not a cell address", 5, "G13",
     "2: Wells!F13 cascade G13 width 1"},
};

// The last item of the page's kind: how many there are, its place and what
// the page sets.
std::string Stored(const model::CExcModel& m, int page) {
  std::ostringstream out;
  const auto place = [&](const auto& list) -> const auto& {
    const auto& item = *list.At(list.size() - 1);
    out << list.size() << ": " << item.worksheet << '!' << item.cell;
    return item;
  };
  if (page == 0) {
    const auto& c = place(m.constraints);
    out << " type " << c.ConstraintType << " limit " << c.Limit;
  } else if (page == 1) {
    const auto& c = place(m.controls);
    out << " from " << c.LowerBound << " to " << c.UpperBound;
  } else {
    const auto& v = place(m.publishedVariables);
    out << " cascade " << v.CascadeCell << " width " << v.RegionWidth;
  }
  return out.str();
}

std::unique_ptr<casedata::CExcExportedVariable> Variable(const std::string& name) {
  auto variable = std::make_unique<casedata::CExcExportedVariable>();
  variable->name = name;
  variable->worksheet = "Gone";  // not among the cached sheet names
  variable->cell = "B2";
  variable->CascadeDirection = 5;  // neither choice
  variable->RegionWidth = 3;
  variable->ColumnDelimiter = ";";
  return variable;
}

class ChecksTest : public QObject {
  Q_OBJECT

 private slots:
  void faultyRowsAreRefusedKeptAndMarked() {
    for (const RowCase& c : kRowCases) {
      ui_test::ScriptedSeams seams;
      auto model = FilledModel();
      std::unique_ptr<QDialog> dialog;
      if (c.page >= 0) {
        auto optimiser = std::make_unique<ui::OptimiserDialog>(
            model::OptimiserPage::kObjectiveAndConstraints, *model);
        optimiser->Tabs()->setCurrentIndex(c.page);
        dialog = std::move(optimiser);
      } else {
        dialog = std::make_unique<ui::PublishedDialog>(*model);
      }
      const char* grids[] = {"publishedGrid", "constraintsGrid", "controlsGrid"};
      auto* grid = Find<ui::Grid>(dialog.get(), grids[c.page + 1]);
      QVERIFY2(grid != nullptr, c.name);
      const QStringList typed = QString(c.typed).split('|');
      ui_test::FillRow(grid, c.row, typed);
      dialog->accept();
      QVERIFY2(dialog->result() != QDialog::Accepted, c.name);
      QCOMPARE(seams.messages.size(), std::size_t{1});
      QCOMPARE(seams.messages[0].text, QString(c.message));
      QCOMPARE(seams.messages[0].title, QString("Error"));
      QVERIFY2(!grid->ProblemAt(c.row, c.mendColumn).isEmpty(), c.name);
      QCOMPARE(grid->CurrentRow(), c.row);
      for (int column = 1; column <= typed.size(); ++column)
        QCOMPARE(grid->Text(c.row, column), typed[column - 1]);
      // The model is as it was: three controls, one constraint, one variable.
      QVERIFY2(model->constraints.size() == 1 && model->controls.size() == 3 &&
                   model->publishedVariables.size() == 1,
               c.name);
      if (grid->Kind(c.row, c.mendColumn) == ui::CellKind::kChoice) {
        grid->SetChoiceText(c.row, c.mendColumn, c.mendText);
      } else {
        grid->SetText(c.row, c.mendColumn, c.mendText);
      }
      QVERIFY2(grid->ProblemAt(c.row, c.mendColumn).isEmpty(), c.name);  // unmarked at once
      dialog->accept();
      QVERIFY2(dialog->result() == QDialog::Accepted, c.name);
      QCOMPARE(seams.messages.size(), std::size_t{1});
      QCOMPARE(QString::fromStdString(Stored(*model, c.page)), QString(c.stored));
    }
  }

  // Keys in a grid never change a choice they pass or close the dialog.
  void arrowsPassChoicesAndEnterKeepsTheDialogOpen() {
    auto model = FilledModel();
    ui_test::ScriptedSeams seams;
    ui::OptimiserDialog dialog(model::OptimiserPage::kControls, *model);
    ui_test::Open(&dialog);
    auto* grid = Find<ui::Grid>(&dialog, "controlsGrid");
    grid->setFocus();
    grid->SetCurrent(1, 3);  // a worksheet choice
    ui_test::Key(Qt::Key_Down);
    QCOMPARE(grid->CurrentRow(), 2);
    QCOMPARE(grid->Text(1, 3), QString("Wells"));
    for (const int key : {Qt::Key_Enter, Qt::Key_Return, Qt::Key_Return}) {
      ui_test::Key(key);
      QVERIFY(dialog.isVisible());
    }
    QCOMPARE(dialog.result(), 0);
  }

  void fieldsThatWouldBeIgnoredCannotBeEdited() {
    auto model = FilledModel();
    model->intControls.Clear();
    ui::OptimiserDialog dialog(model::OptimiserPage::kObjectiveAndConstraints, *model);
    auto* defined = Find<QCheckBox>(&dialog, "defined");
    auto* worksheet = Find<QComboBox>(&dialog, "objectiveWorksheet");
    QVERIFY(worksheet->isEnabled());
    defined->setChecked(false);
    for (const char* name : {"objectiveWorksheet", "objectiveCell", "objectiveName", "mode"})
      QVERIFY2(!Find<QWidget>(&dialog, name)->isEnabled(), name);
    defined->setChecked(true);
    QVERIFY(Find<QLineEdit>(&dialog, "objectiveName")->isEnabled());
    dialog.Tabs()->setCurrentIndex(2);
    QWidget* page = dialog.Tabs()->widget(2);
    auto* cell = Find<QLineEdit>(page, "cell");
    QVERIFY(!cell->isEnabled());  // no control selected: nothing to type into
    QVERIFY(!Find<ui::Grid>(page, "statesGrid")->isEnabled());
    Find<QPushButton>(page, "add")->click();
    QVERIFY(cell->isEnabled());
    cell->setText("D9");
    auto* states = Find<ui::Grid>(page, "statesGrid");
    states->SetText(1, 1, "Shut");  // a state name with no value would be lost
    ui_test::ScriptedSeams seams;
    dialog.accept();
    QVERIFY(dialog.result() != QDialog::Accepted);
    QCOMPARE(seams.messages.at(0).text, QString("States, row 1: \"Value\" is blank"));
    states->SetText(1, 2, "0");
    dialog.accept();
    QVERIFY(dialog.result() == QDialog::Accepted);
    QCOMPARE(model->intControls.At(0)->cell, std::string("D9"));
    QCOMPARE(model->intControls.At(0)->StateNames[0], std::string("Shut"));
  }

  void rowsMakeVariablesAndKeepWhatTheyDoNotShow() {
    ui_test::ScriptedSeams seams;
    auto model = ui_test::MakeModel();
    model->publishedVariables.Add(Variable("kept"));
    ui::PublishedDialog dialog(*model);
    ui::Grid* grid = dialog.VariablesGrid();
    QCOMPARE(grid->DataRows(), 500);
    ui_test::FillRow(grid, 2, {"rate", "STB/d", "Wells", "C4", "D10", "", "", "10000", ",", "|"});
    grid->SetChoice(2, 6, 1);
    ui_test::FillRow(grid, 3, {"size", "", "Wells", "A1", "", "", "2"});
    dialog.accept();
    QVERIFY(seams.messages.empty());
    QCOMPARE(model->publishedVariables.size(), std::size_t{3});
    const auto& kept = *model->publishedVariables.At(0);
    QCOMPARE(
        std::tuple(kept.worksheet, kept.CascadeDirection, kept.RegionWidth, kept.ColumnDelimiter),
        std::tuple(std::string("Gone"), 5u, 3, std::string(";")));
    const auto& rate = *model->publishedVariables.At(1);
    QCOMPARE(std::tuple(rate.unit, rate.CascadeCell, rate.CascadeDirection, rate.RegionWidth,
                        rate.RegionHeight, rate.RowDelimiter),
             std::tuple(std::string("STB/d"), std::string("D10"),
                        std::uint32_t{casedata::kHorizontal}, 1, 10000, std::string("|")));
    const auto& size = *model->publishedVariables.At(2);
    QCOMPARE(std::pair(size.RegionWidth, size.RegionHeight), std::pair(2, 1));
  }

  void gridHasRoomBeyondTheListAndClearLeavesDelimiters() {
    ui_test::ScriptedSeams seams;
    auto model = ui_test::MakeModel();
    for (int i = 0; i < 250; ++i)
      model->publishedVariables.Add(Variable("v" + std::to_string(i)));
    ui::PublishedDialog dialog(*model);
    QCOMPARE(dialog.VariablesGrid()->DataRows(), 550);
    Find<QPushButton>(&dialog, "clear")->click();
    QCOMPARE(dialog.VariablesGrid()->Text(1, 1), QString());
    QCOMPARE(dialog.VariablesGrid()->Text(1, 7), QString());
    QCOMPARE(dialog.VariablesGrid()->Text(1, 9), QString(";"));
    dialog.reject();
    QCOMPARE(model->publishedVariables.size(), std::size_t{250});  // Cancel rebuilds nothing
    dialog.accept();
    QVERIFY(model->publishedVariables.empty());
  }

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
    const auto constraint = [&](std::size_t i) {
      const auto& c = *model->constraints.At(i);
      return std::tuple(c.ConstraintType, c.Limit, c.worksheet);
    };
    QCOMPARE(constraint(0), std::tuple(0u, 1.5, std::string("Wells")));
    QCOMPARE(constraint(1), std::tuple(1u, -2000.0, std::string("Sep")));
    QCOMPARE(constraint(2), std::tuple(2u, 7.0, std::string("Wells")));
    QCOMPARE(constraint(3), std::tuple(0u, 3.2e35, std::string("Missing")));  // not a cached sheet
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
    const auto bounds = [&](std::size_t i) {
      return std::pair(model->controls.At(i)->LowerBound, model->controls.At(i)->UpperBound);
    };
    QCOMPARE(bounds(1), std::pair(EXT_UNDEFINED_VALUE, EXT_UNDEFINED_VALUE));  // empty: no bound
    QCOMPARE(bounds(2), std::pair(0.0, 1.5));
    QCOMPARE(bounds(3), std::pair(0.25, EXT_UNDEFINED_VALUE));
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
    QCOMPARE(std::tuple(choke.cell, choke.StateCount, choke.StateNames[1], choke.StateValues[1]),
             std::tuple(std::string("D10"), 2, std::string("Half"), std::string("0.5")));
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

QTEST_MAIN(ChecksTest)
#include "checks_test.moc"
