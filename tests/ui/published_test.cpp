// The published-variables editor.
#include <QPushButton>
#include <QTest>

#include "casedata/exported_variable.h"
#include "ui/dialogs/other_dialogs.h"
#include "ui/ui_fixture.h"

namespace {

using ui_test::Find;

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

class PublishedTest : public QObject {
  Q_OBJECT

 private slots:
  void rowsMakeVariablesWithSizesLimited() {
    ui_test::ScriptedSeams seams;
    auto model = ui_test::MakeModel();
    model->publishedVariables.Add(Variable("kept"));
    ui::PublishedDialog dialog(*model);
    ui::Grid* grid = dialog.VariablesGrid();
    QCOMPARE(grid->DataRows(), 500);
    ui_test::FillRow(grid, 2, {"rate", "STB/d", "Wells", "C4", "D10", "", "", "10000", ",", "|"});
    grid->SetChoice(2, 6, 1);
    ui_test::FillRow(grid, 3, {"no cell", "", "Wells"});
    ui_test::FillRow(grid, 4, {"size", "", "Wells", "A1", "", "", "2.9", "20000"});
    // Sizes that would change, and rows that would vanish, are refused.
    const QStringList refusals{"row 3: \"Cell\" is blank",
                               "row 4: \"2.9\" is not a whole number from 1 to 10000",
                               "row 4: \"20000\" is not a whole number from 1 to 10000"};
    for (const QString& refusal : refusals) {
      dialog.accept();
      QVERIFY(dialog.result() != QDialog::Accepted);
      QCOMPARE(seams.messages.back().text, "Published variables, " + refusal);
      if (refusal.startsWith("row 3")) grid->SetText(3, 4, "A3");
      if (refusal.contains("2.9")) grid->SetText(4, 7, "2");
    }
    QCOMPARE(model->publishedVariables.size(), std::size_t{1});
    grid->SetText(4, 8, "");
    dialog.accept();
    QCOMPARE(model->publishedVariables.size(), std::size_t{4});
    const auto& kept = *model->publishedVariables.At(0);
    QCOMPARE(kept.worksheet, std::string("Gone"));
    QCOMPARE(kept.CascadeDirection, 5u);
    QCOMPARE(kept.RegionWidth, 3);
    QCOMPARE(kept.ColumnDelimiter, std::string(";"));
    const auto& rate = *model->publishedVariables.At(1);
    QCOMPARE(rate.unit, std::string("STB/d"));
    QCOMPARE(rate.CascadeCell, std::string("D10"));
    QCOMPARE(rate.CascadeDirection, static_cast<std::uint32_t>(casedata::kHorizontal));
    QCOMPARE(rate.RegionWidth, 1);
    QCOMPARE(rate.RegionHeight, 10000);
    QCOMPARE(rate.RowDelimiter, std::string("|"));
    const auto& size = *model->publishedVariables.At(3);
    QCOMPARE(size.RegionWidth, 2);
    QCOMPARE(size.RegionHeight, 1);
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
};

}  // namespace

QTEST_MAIN(PublishedTest)
#include "published_test.moc"
