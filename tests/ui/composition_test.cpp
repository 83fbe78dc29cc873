// The composition dialog, the composition list and "Set up a composition".
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "casedata/composition.h"
#include "ui/dialogs/composition_dialogs.h"
#include "ui/ui_fixture.h"
#include "ui/widgets/property_grid.h"

namespace {

using ui_test::Find;

constexpr int kEdit = 1;
constexpr int kName = 2;
constexpr int kDescription = 3;
constexpr int kDelete = 4;

casedata::CExcclCompositionDefinition TwoCompositions() {
  casedata::CExcclCompositionDefinition list;
  list.Add(std::make_unique<casedata::CExcCompositionDefinition>(
      "Gas", std::vector<std::string>{"C1", "C2"}));
  list.Add(
      std::make_unique<casedata::CExcCompositionDefinition>("Oil", std::vector<std::string>{"C7"}));
  return list;
}

// A "Set up a composition" script typing these names.
ui_test::ScriptedSeams::Script TypeNames(QStringList names, int result) {
  return [names, result](QDialog& dialog) {
    auto& setup = dynamic_cast<ui::CompositionSetupDialog&>(dialog);
    for (int i = 0; i < names.size(); ++i)
      setup.NamesGrid()->SetText(i + 1, 1, names[i]);
    if (result == QDialog::Accepted) setup.accept();
    return result;
  };
}

class CompositionTest : public QObject {
  Q_OBJECT

 private slots:
  void blankTableCellIsRefusedTheDialogStaysOpenAndAnUnlistedNameIsKept() {
    ui_test::ScriptedSeams seams;
    const casedata::CExcclCompositionDefinition list = TwoCompositions();
    std::string name = "Gas";
    casedata::CExcStreamCompositionData block;
    ui::CompositionDialog dialog(list, name, block);
    QCOMPARE(Find<QComboBox>(&dialog, "compositionName")->currentText(), QString("Gas"));
    Find<QComboBox>(&dialog, "compositionName")->setCurrentIndex(1);
    Find<QLineEdit>(&dialog, "interactionCell")->setText("K20");
    dialog.accept();
    QCOMPARE(dialog.result(), int{QDialog::Rejected});
    QCOMPARE(seams.messages.size(), std::size_t{1});
    QCOMPARE(seams.messages[0].title, QString("Composition error"));
    QCOMPARE(seams.messages[0].text, QString("A cell identifier must be entered"));
    QVERIFY(seams.messages[0].icon == ui::MessageIcon::kError);
    QCOMPARE(name, std::string("Gas"));  // nothing copied back yet
    Find<QLineEdit>(&dialog, "componentTableCell")->setText("B20");
    Find<QComboBox>(&dialog, "massRateUnit")->setCurrentIndex(1);
    Find<ui::PropertyGrid>(&dialog, "compositionGrid")->SelectChoice(0, 1, 1);
    dialog.accept();
    QCOMPARE(dialog.result(), int{QDialog::Accepted});
    QCOMPARE(name, std::string("Oil"));
    QCOMPARE(block.componentTableCell.str(), std::string("B20"));
    QCOMPARE(block.interactionCell.str(), std::string("K20"));
    QCOMPARE(block.massRateUnit, 1u);
    QCOMPARE(block.unitSystem, 1u);
    QCOMPARE(block.columnUnits[2], 2u);  // Critical Pressure: BARg
    name = "Condensate";
    ui::CompositionDialog unlisted(list, name, block);
    unlisted.accept();
    QCOMPARE(name, std::string("Condensate"));  // a name the list lacks is kept
  }

  void editOnlyOnTheFirstEmptyRowMakesACompositionAndTheGridGrowsWithTheList() {
    ui_test::ScriptedSeams seams;
    casedata::CExcclCompositionDefinition list = TwoCompositions();
    ui::CompositionListDialog dialog(list);
    ui::Grid* grid = dialog.ListGrid();
    QCOMPARE(grid->DataRows(), 50);
    QCOMPARE(grid->Text(1, kDescription),
             QString::fromStdString(casedata::DescribeComposition(*list.At(0))));
    QVERIFY(grid->Button(1, kEdit)->property("existing").toBool());
    QVERIFY(!grid->Button(3, kEdit)->property("existing").toBool());
    QVERIFY(grid->Button(1, kEdit)->styleSheet() != grid->Button(3, kEdit)->styleSheet());
    grid->Button(4, kEdit)->click();  // second empty row: nothing
    QVERIFY(seams.modalTitles.isEmpty());
    seams.Then(TypeNames({"N2"}, QDialog::Rejected));
    grid->Button(3, kEdit)->click();
    QCOMPARE(list.size(), std::size_t{2});  // cancelled: dropped
    seams.Then(TypeNames({"N2", "C1"}, QDialog::Accepted));
    grid->Button(3, kEdit)->click();
    QCOMPARE(list.size(), std::size_t{3});
    QVERIFY(grid->Button(3, kEdit)->property("existing").toBool());
    QCOMPARE(grid->Text(3, kDescription), QString("2 components (N2 C1)"));
    dialog.accept();
    QCOMPARE(list.At(2)->name, std::string("Comp1"));  // unnamed: the naming rules
    for (int i = 0; i < 60; ++i)
      list.Add(std::make_unique<casedata::CExcCompositionDefinition>("C" + std::to_string(i),
                                                                     std::vector<std::string>{}));
    ui::CompositionListDialog longer(list);  // room for one more than the list
    QCOMPARE(longer.ListGrid()->DataRows(), 64);
    longer.accept();
    QCOMPARE(list.size(), std::size_t{63});
    QCOMPARE(list.At(62)->name, std::string("C59"));
  }

  void deleteStoresTypedNamesFirstAndEditRefreshes() {
    ui_test::ScriptedSeams seams;
    casedata::CExcclCompositionDefinition list = TwoCompositions();
    ui::CompositionListDialog dialog(list);
    ui::Grid* grid = dialog.ListGrid();
    grid->SetText(1, kName, "Gas2");
    grid->SetText(2, kName, "Oil2");
    grid->Button(1, kDelete)->click();
    QCOMPARE(list.size(), std::size_t{1});
    QCOMPARE(list.At(0)->name, std::string("Oil2"));
    QCOMPARE(grid->Text(1, kName), QString("Oil2"));
    QCOMPARE(grid->Text(2, kName), QString());
    seams.Then(TypeNames({"C5", "C6", "C7"}, QDialog::Accepted));
    grid->Button(1, kEdit)->click();
    QCOMPARE(grid->Text(1, kDescription), QString("3 components (C5 C6 C7)"));
  }

  void componentNamesStopAtTheFirstBlankRowAndKeepMoreThanAHundred() {
    ui_test::ScriptedSeams seams;
    casedata::CExcCompositionDefinition definition;
    {
      ui::CompositionSetupDialog dialog(definition);
      ui::Grid* grid = dialog.NamesGrid();
      QCOMPARE(grid->DataRows(), 100);
      for (int row : {1, 2, 3, 5, 6})
        grid->SetText(row, 1, QString("X%1").arg(row));
      dialog.accept();
      QCOMPARE(definition.components, (std::vector<std::string>{"X1", "X2", "X3"}));
    }
    for (int i = 0; i < 130; ++i)
      definition.components.push_back("N" + std::to_string(i));
    definition.components.erase(definition.components.begin(), definition.components.begin() + 3);
    ui::CompositionSetupDialog dialog(definition);
    QCOMPARE(dialog.NamesGrid()->DataRows(), 130);
    dialog.accept();
    QCOMPARE(definition.components.size(), std::size_t{130});
    ui::CompositionSetupDialog cleared(definition);
    Find<QPushButton>(&cleared, "clear")->click();
    cleared.accept();
    QVERIFY(definition.components.empty());
  }
};

}  // namespace

QTEST_MAIN(CompositionTest)
#include "composition_test.moc"
