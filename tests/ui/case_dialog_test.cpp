// The case editor, the file-only dialog, "Generate cell range" and the
// composition dialogs, driven through their widgets.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <tuple>

#include "casedata/composition.h"
#include "ui/dialogs/case_dialog.h"
#include "ui/dialogs/composition_dialogs.h"
#include "ui/qt_dialogs.h"
#include "ui/ui_fixture.h"
#include "ui/widgets/property_grid.h"

namespace {

using ui_test::Find;

constexpr int kCell = 1;
constexpr int kUnit = 2;
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

class CaseDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void countsAreClampedAndStreamsResized_data() {
    QTest::addColumn<int>("typed");
    QTest::addColumn<int>("stored");
    QTest::newRow("0 stores 1") << 0 << 1;
    QTest::newRow("2 stays") << 2 << 2;
    QTest::newRow("6000 stores 5000") << 6000 << 5000;
  }
  void countsAreClampedAndStreamsResized() {
    QFETCH(int, typed);
    QFETCH(int, stored);
    casedata::CExcCaseDetails edited;
    edited.inputCount = 3;
    edited.SyncStreamCounts();
    edited.inputStreams.At(2)->sheetName = "Third";
    ui::CaseEditor editor(edited, {});
    Find<QSpinBox>(&editor, "inputCount")->setValue(typed);
    editor.accept();
    QCOMPARE(edited.inputCount, static_cast<std::uint32_t>(stored));
    QCOMPARE(edited.inputStreams.size(), static_cast<std::size_t>(stored));
    if (stored == 2) QVERIFY(edited.inputStreams.At(2) == nullptr);  // In-3 went with its cells
  }

  void switchingStreamsStoresTheOneShown() {
    casedata::CExcCaseDetails edited;
    ui_test::FillCase(edited);
    ui::CaseEditor editor(edited, {"Wells"});
    editor.Tabs()->setCurrentIndex(1);
    QWidget* page = editor.Tabs()->widget(1);
    auto* grid = Find<ui::PropertyGrid>(page, "solverGrid");
    grid->SetText(2, kCell, "Z9");
    Find<QComboBox>(page, "sheetName")->setCurrentText("Other");
    Find<QComboBox>(page, "inputStream")->setCurrentIndex(1);
    QCOMPARE(edited.inputStreams.At(0)->solverCells[1].cell.str(), std::string("Z9"));
    QCOMPARE(edited.inputStreams.At(0)->sheetName, std::string("Other"));
    QCOMPARE(grid->Text(2, kCell), QString("C5"));  // In-2 shown
    grid->SetText(3, kCell, "Q1");
    editor.accept();  // OK stores the visible page
    QCOMPARE(edited.inputStreams.At(1)->solverCells[2].cell.str(), std::string("Q1"));
  }

  void leavingATabStoresItAndOkStoresOnlyTheVisiblePage() {
    casedata::CExcCaseDetails edited;
    for (std::size_t e = 0; e < casedata::kEventCount; ++e)
      edited.macros[e] = "m" + std::to_string(e);
    ui::CaseEditor editor(edited, {});
    Find<QLineEdit>(&editor, "fileName")->setText("/tmp/a.xlsx");
    editor.Tabs()->setCurrentIndex(3);
    QCOMPARE(edited.fileName, std::string("/tmp/a.xlsx"));
    // A field of a hidden page changed behind the tabs is not stored by OK.
    Find<QLineEdit>(&editor, "fileName")->setText("/tmp/b.xlsx");
    auto* macros = Find<ui::Grid>(&editor, "macrosGrid");
    const QStringList eventOrder{"m0", "m1", "m2", "m6", "m3", "m4", "m5"};
    for (int row = 1; row <= 7; ++row)
      QCOMPARE(macros->Text(row, 2), eventOrder[row - 1]);
    QCOMPARE(macros->Text(4, 1), QString("Post-module solve"));
    macros->SetText(4, 2, "Module1.PostModule");
    macros->SetChecked(4, 3, true);
    editor.accept();
    QCOMPARE(edited.fileName, std::string("/tmp/a.xlsx"));
    QCOMPARE(edited.macros[6], std::string("Module1.PostModule"));  // row 4 is event 6
    QVERIFY(edited.passDate[6]);
  }

  void setupCompositionsFollowsTheBoxAndClearsStaleNames() {
    casedata::CExcCaseDetails edited;
    ui_test::FillCase(edited);
    edited.useCompositions = 0;
    ui_test::ScriptedSeams seams;
    ui::CaseEditor editor(edited, {});
    auto* box = Find<QCheckBox>(&editor, "useCompositions");
    auto* setup = Find<QPushButton>(&editor, "setupCompositions");
    QVERIFY(!setup->isEnabled());
    box->setChecked(true);
    QVERIFY(setup->isEnabled());
    QCOMPARE(edited.useCompositions, 1);  // stored at once
    seams.Then([](QDialog& dialog) {
      auto& list = dynamic_cast<ui::CompositionListDialog&>(dialog);
      list.ListGrid()->SetText(1, 2, "Gas2");
      list.accept();
      return int{QDialog::Accepted};
    });
    setup->click();
    QCOMPARE(edited.compositions.At(0)->name, std::string("Gas2"));
    QCOMPARE(edited.inputStreams.At(0)->compositionName, std::string());
    QCOMPARE(edited.inputStreams.At(1)->compositionName, std::string("Oil"));
    box->setChecked(false);
    QCOMPARE(edited.useCompositions, 0);
    QVERIFY(!setup->isEnabled());
  }

  // Stepping a cell is OffsetCell's, pinned in the automation tests. What the
  // first cell typed gets: the message OK gives (the dialog stays
  // open, the field marked), or none and the cells.
  void generateCellRangeRefusesAFirstCellItCannotCountFrom_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("arrange");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("last");  // the 13th cell when accepted
    const char* const none = nullptr;   // no message, or not accepted
    const std::tuple<const char*, const char*, int, const char*, const char*> rows[] = {
        {"blank", "  ", 0, "A first cell must be entered", none},
        {"no column", "12", 0, "First cell: \"12\" is not a cell address", none},
        {"a name", "Rate", 0, "First cell: \"Rate\" is not a column and a row (B5)", none},
        {"past the last column", "XFA1", 0,
         "First cell: 13 cells from \"XFA1\" go past the end of the sheet", none},
        {"past the last row", "B1048570", 1,
         "First cell: 13 cells from \"B1048570\" go past the end of the sheet", none},
        {"across", "Y1", 0, none, "AK1"},
        {"down, absolute", " $B$5 ", 1, none, "B17"},
        {"last column reached", "XER1", 0, none, "XFD1"}};
    for (const auto& [name, first, arrange, message, last] : rows)
      QTest::newRow(name) << QString(first) << arrange << QString(message) << QString(last);
  }
  void generateCellRangeRefusesAFirstCellItCannotCountFrom() {
    QFETCH(QString, first);
    QFETCH(int, arrange);
    QFETCH(QString, message);
    QFETCH(QString, last);
    ui_test::ScriptedSeams seams;
    ui::AutoGenerateDialog dialog(13);
    auto* field = Find<QLineEdit>(&dialog, "firstCell");
    field->setText(first);
    Find<QComboBox>(&dialog, "arrange")->setCurrentIndex(arrange);
    dialog.accept();
    if (message.isEmpty()) {
      QVERIFY(seams.messages.empty());
      QCOMPARE(dialog.result(), int{QDialog::Accepted});
      QCOMPARE(dialog.Cells().size(), std::size_t{13});
      QCOMPARE(QString::fromStdString(dialog.Cells().back()), last);
      return;
    }
    QCOMPARE(dialog.result(), int{QDialog::Rejected});
    QCOMPARE(seams.messages.size(), std::size_t{1});
    QCOMPARE(std::tuple(seams.messages[0].title, seams.messages[0].text),
             std::tuple(QString("Error"), message));
    QCOMPARE(field->property("problem").toString(), message);
    QCOMPARE(field->text(), first);  // kept to be mended
    field->setText("D4");
    dialog.accept();
    QCOMPARE(dialog.result(), int{QDialog::Accepted});
    QVERIFY(field->property("problem").toString().isEmpty());
    QCOMPARE(seams.messages.size(), std::size_t{1});
  }

  void autoGenerateWritesCellsKeepsUnitsAndWritesNothingWhenCancelled() {
    casedata::CExcCaseDetails edited;
    ui_test::FillCase(edited);
    ui_test::ScriptedSeams seams;
    ui::CaseEditor editor(edited, {});
    editor.Tabs()->setCurrentIndex(2);
    // As a person would: OK, and Cancel when OK refuses.
    auto answer = [](const char* first, int arrange) {
      return [first, arrange](QDialog& dialog) {
        Find<QLineEdit>(&dialog, "firstCell")->setText(first);
        Find<QComboBox>(&dialog, "arrange")->setCurrentIndex(arrange);
        dialog.accept();
        return dialog.result() == QDialog::Accepted ? int{QDialog::Accepted}
                                                    : int{QDialog::Rejected};
      };
    };
    seams.Then(answer("Y1", 0));
    Find<QPushButton>(&editor, "autoGenerate")->click();
    auto* grid = Find<ui::PropertyGrid>(editor.Tabs()->widget(2), "outputGrid");
    QCOMPARE(grid->Text(3, kCell), QString("AA1"));
    QCOMPARE(grid->Text(8, kCell), QString("AF1"));
    seams.Then(answer("12", 1));  // refused, then cancelled: nothing changes
    Find<QPushButton>(&editor, "autoGenerate")->click();
    QCOMPARE(grid->Text(8, kCell), QString("AF1"));
    QCOMPARE(seams.messages.size(), std::size_t{1});
    editor.accept();
    QCOMPARE(edited.outputStreams.At(0)->propertyCells[7].cell.str(), std::string("AF1"));
    QCOMPARE(seams.modalTitles, QStringList({"Generate cell range", "Generate cell range"}));
  }

  void unitOutsideItsKindIsKeptHeadingSetsDefaultsAndCellsRefuseSixteenBytes() {
    casedata::CExcCaseDetails edited;
    edited.inputStreams.At(0)->solverCells[1].unit = 7;  // liquid rate has two units
    ui::CaseEditor editor(edited, {});
    editor.Tabs()->setCurrentIndex(1);
    auto* grid = Find<ui::PropertyGrid>(editor.Tabs()->widget(1), "solverGrid");
    QCOMPARE(grid->Text(2, kUnit), QString("#7"));
    editor.accept();
    QCOMPARE(edited.inputStreams.At(0)->solverCells[1].unit, 7u);
    grid->SelectChoice(0, kUnit, 1);                          // "S.I."
    QCOMPARE(grid->Text(6, kUnit), QString("BARg"));          // Pressure
    QCOMPARE(grid->Text(7, kUnit), QString("deg C"));         // Temperature
    QCOMPARE(grid->Kind(1, kUnit), ui::CellKind::kReadOnly);  // Date has no unit
    editor.accept();
    QCOMPARE(edited.inputStreams.At(0)->solverUnitSystem, 1u);
    QCOMPARE(edited.inputStreams.At(0)->solverCells[5].unit, 2u);
    ui::ByteLimitValidator validator(grid->MaxBytes(kCell), nullptr);
    QString fifteen(15, 'A'), sixteen(16, 'A'), accented = QString(14, 'A') + QChar(0xE9);
    int position = 0;  // accented is 16 bytes in UTF-8
    QCOMPARE(validator.validate(fifteen, position), QValidator::Acceptable);
    QCOMPARE(validator.validate(sixteen, position), QValidator::Invalid);
    QCOMPARE(validator.validate(accented, position), QValidator::Invalid);
  }

  void copyFromInputTakesTheSolverRowsOfTheSameName() {
    casedata::CExcCaseDetails edited;
    ui_test::FillCase(edited);
    casedata::CExcInputStreamData& in2 = *edited.inputStreams.At(1);
    in2.solverCells[casedata::kInGasRate].unit = 3;
    edited.outputStreams.At(0)->unitSystem = casedata::kSi;
    ui::CaseEditor editor(edited, {});
    editor.Tabs()->setCurrentIndex(2);
    Find<QComboBox>(&editor, "copyFromInput")->setCurrentIndex(1);
    Find<QPushButton>(&editor, "copy")->click();
    editor.accept();
    const casedata::CExcOutputStreamData& out = *edited.outputStreams.At(0);
    const auto cell = [&](std::size_t row) {
      return QString::fromStdString(out.propertyCells[row].cell.str());
    };
    QCOMPARE(out.sheetName, in2.sheetName);
    QCOMPARE(out.compositionName, std::string("Oil"));
    QCOMPARE(
        cell(casedata::kOutOilRate) + cell(casedata::kOutGasRate) + cell(casedata::kOutGasGravity),
        QString("C5C8C13"));
    QCOMPARE(out.propertyCells[casedata::kOutGasRate].unit, 3u);
    QCOMPARE(out.unitSystem, static_cast<std::uint32_t>(casedata::kSi));
  }

  void browseOffersBothFiltersAndFillsTheField() {
    ui_test::ScriptedSeams seams;
    seams.chosenFile = "/tmp/chosen.ods";
    std::string fileName = "/old/file.xlsx";
    ui::SimpleFileDialog dialog(fileName);
    Find<QPushButton>(&dialog, "browse")->click();
    QCOMPARE(seams.fileStarts, QStringList{"/old/file.xlsx"});
    const std::vector<ui::FileFilter>& filters = seams.fileFilters.at(0);
    QCOMPARE(filters.at(0).label, QString("Excel files (*.xls, *.xlsx, *.xlsm)"));
    QCOMPARE(filters.at(0).patterns + " " + filters.at(1).patterns,
             QString("*.xls;*.xlsx;*.xlsm *.ods;*.fods"));
    QCOMPARE(fileName, std::string("/old/file.xlsx"));  // only OK stores
    dialog.accept();
    QCOMPARE(fileName, std::string("/tmp/chosen.ods"));
  }

  // With no window of the host's to own them, dialogs open application modal.
  void providerKeepsTheCaseOnCancelAndCopiesItBackOnOk() {
    ui_test::ScriptedSeams seams;
    const auto dialogs = ui::MakeQtDialogs({});
    QCOMPARE(dialogs->WhyNotShown(), std::string());
    auto model = ui_test::MakeModel();
    casedata::CExcCaseDetails details;
    bool modal = false;
    auto type = [&modal](const char* field, const char* text, int result) {
      return [=, &modal](QDialog& dialog) {
        modal = dialog.windowModality() == Qt::ApplicationModal;
        Find<QLineEdit>(&dialog, field)->setText(text);
        if (result == QDialog::Accepted) dialog.accept();
        return result;
      };
    };
    seams.Then(type("fileName", "/tmp/new.xlsx", QDialog::Rejected));
    QCOMPARE(dialogs->EditCase(model::CaseDialogKind::kFull, *model, details, nullptr),
             model::DialogResult::kCancel);
    QCOMPARE(details.fileName, std::string());  // OK's copy is the keyboard test's
    seams.Then(type("plugIns", "a.xlam;b.xlam", QDialog::Accepted));
    std::string plugIns = "old";
    QCOMPARE(dialogs->EditDriverSettings(plugIns, nullptr), model::DialogResult::kOk);
    QCOMPARE(plugIns, std::string("a.xlam;b.xlam"));
    QCOMPARE(seams.modalTitles.last(), QString("Excel driver configuration settings"));
    QVERIFY(modal);
  }

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
    QCOMPARE(std::tuple(seams.messages[0].title, seams.messages[0].text, seams.messages[0].icon),
             std::tuple(QString("Composition error"), QString("A cell identifier must be entered"),
                        ui::MessageIcon::kError));
    QCOMPARE(name, std::string("Gas"));  // nothing copied back yet
    Find<QLineEdit>(&dialog, "componentTableCell")->setText("B20");
    Find<QComboBox>(&dialog, "massRateUnit")->setCurrentIndex(1);
    Find<ui::PropertyGrid>(&dialog, "compositionGrid")->SelectChoice(0, 1, 1);
    dialog.accept();
    QCOMPARE(dialog.result(), int{QDialog::Accepted});
    QCOMPARE(std::tuple(name, block.componentTableCell.str(), block.interactionCell.str()),
             std::tuple(std::string("Oil"), std::string("B20"), std::string("K20")));
    // Critical Pressure in BARg.
    QCOMPARE(std::tuple(block.massRateUnit, block.unitSystem, block.columnUnits[2]),
             std::tuple(1u, 1u, 2u));
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

  void deleteStoresTypedNamesFirst() {
    ui_test::ScriptedSeams seams;
    casedata::CExcclCompositionDefinition list = TwoCompositions();
    ui::CompositionListDialog dialog(list);
    ui::Grid* grid = dialog.ListGrid();
    grid->SetText(1, kName, "Gas2");
    grid->SetText(2, kName, "Oil2");
    grid->Button(1, kDelete)->click();
    QCOMPARE(std::tuple(list.size(), list.At(0)->name, grid->Text(1, kName), grid->Text(2, kName)),
             std::tuple(std::size_t{1}, std::string("Oil2"), QString("Oil2"), QString()));
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
  }
};

}  // namespace

QTEST_MAIN(CaseDialogTest)
#include "case_dialog_test.moc"
