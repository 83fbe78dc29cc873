#include "ui/ui_fixture.h"

#include <QApplication>
#include <QTabWidget>
#include <QTest>
#include <tuple>

#include "casedata/composition.h"
#include "casedata/stream_data.h"
#include "ui/dialogs/case_dialog.h"
#include "ui/dialogs/composition_dialogs.h"
#include "ui/dialogs/optimiser_dialog.h"
#include "ui/dialogs/other_dialogs.h"
#include "ui/widgets/pages.h"

namespace ui_test {

ScriptedSeams::ScriptedSeams() : saved_(ui::CurrentSeams()) {
  ui::Seams& seams = ui::CurrentSeams();
  seams.message = [this](QWidget*, ui::MessageIcon icon, const QString& title,
                         const QString& text) {
    messages.push_back({icon, title, text});
  };
  seams.chooseFile = [this](QWidget*, const QString& start,
                            const std::vector<ui::FileFilter>& filters) {
    fileStarts << start;
    fileFilters.push_back(filters);
    return chosenFile;
  };
  seams.help = [](int) {};
  seams.runModal = [this](QDialog& dialog) {
    modalTitles << dialog.windowTitle();
    if (scripts.empty()) return int{QDialog::Rejected};
    Script script = std::move(scripts.front());
    scripts.pop_front();
    return script(dialog);
  };
}

std::unique_ptr<model::CExcModel> MakeModel(std::vector<std::string> sheetNames) {
  auto model = std::make_unique<model::CExcModel>();
  model->sheetNames = std::move(sheetNames);
  return model;
}

void FillCase(casedata::CExcCaseDetails& details) {
  details.fileName = "/data/models/gaslift.fods";
  details.inputCount = 2;
  details.outputCount = 2;
  details.SyncStreamCounts();
  details.useCompositions = 1;
  details.compositions.Add(std::make_unique<casedata::CExcCompositionDefinition>(
      "Gas", std::vector<std::string>{"N2", "CO2", "C1", "C2", "C3"}));
  details.compositions.Add(std::make_unique<casedata::CExcCompositionDefinition>(
      "Oil", std::vector<std::string>{"C1", "C4", "C7+"}));
  for (std::size_t s = 0; s < 2; ++s) {
    casedata::CExcInputStreamData& in = *details.inputStreams.At(s);
    in.sheetName = "Wells";
    in.compositionName = s == 0 ? "Gas" : "Oil";
    in.composition.componentTableCell = "B20";
    for (std::size_t r = 0; r < casedata::kInputRowCount; ++r) {
      in.solverCells[r].cell = std::string(1, static_cast<char>('B' + s)) + std::to_string(4 + r);
      in.forecastCells[r].cell =
          std::string(1, static_cast<char>('E' + r)) + std::to_string(30 + s);
    }
    in.solverCells[casedata::kInPressure].unit = 2;
    casedata::CExcOutputStreamData& out = *details.outputStreams.At(s);
    out.sheetName = "Sep";
    for (std::size_t r = 0; r < casedata::kOutputRowCount; ++r) {
      out.propertyCells[r].cell =
          std::string(1, static_cast<char>('H' + s)) + std::to_string(4 + r);
    }
  }
  details.macros[0] = "Module1.StartOfTimestep";
  details.macros[4] = "Module1.StartOfRun";
  details.passDate[4] = true;
}

void FillOptimisation(model::CExcModel& model) {
  casedata::CExcObjFn& objective = model.objective;
  std::tie(objective.Defined, objective.worksheet, objective.cell, objective.name, objective.unit) =
      std::tuple(true, "Wells", "F12", "Total oil", "STB/d");
  auto* constraint = model.constraints.Add(std::make_unique<casedata::CExcConstraint>());
  std::tie(constraint->name, constraint->worksheet, constraint->cell, constraint->Limit) =
      std::tuple("Lift gas", "Wells", "F14", 6);
  for (int w = 1; w <= 3; ++w) {
    auto* control = model.controls.Add(std::make_unique<casedata::CExcControlVariable>());
    std::tie(control->name, control->worksheet, control->cell, control->LowerBound,
             control->UpperBound) = std::tuple("W" + std::to_string(w) + " lift gas", "Wells",
                                               "C" + std::to_string(4 + w), 0, 1.5);
  }
  casedata::CExcIntCtrlVariable* choke = casedata::MakeIntegerControlName(model.intControls);
  std::tie(choke->worksheet, choke->cell, choke->StateCount) = std::tuple("Wells", "D9", 2);
  std::tie(choke->StateNames[0], choke->StateValues[0], choke->StateNames[1],
           choke->StateValues[1]) = std::tuple("Shut", "0", "Open", "1");
}

std::unique_ptr<model::CExcModel> FilledModel() {
  auto model = MakeModel();
  FillOptimisation(*model);
  auto* variable =
      model->publishedVariables.Add(std::make_unique<casedata::CExcExportedVariable>());
  std::tie(variable->name, variable->unit, variable->worksheet, variable->cell) =
      std::tuple("Total oil", "STB/d", "Wells", "F12");
  return model;
}

void FillRow(ui::Grid* grid, int row, const QStringList& texts) {
  for (int column = 0; column < texts.size(); ++column) {
    if (grid->Kind(row, column + 1) == ui::CellKind::kChoice) {
      grid->SetChoiceText(row, column + 1, texts[column]);
    } else {
      grid->SetText(row, column + 1, texts[column]);
    }
  }
}

QString Shown(const QString& text) {
  QString shown;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;  // "&&" shows one '&'
    shown += text[i];
  }
  return shown;
}

void Open(QWidget* dialog) {
  dialog->show();
  QApplication::setActiveWindow(dialog);
  QVERIFY(QTest::qWaitForWindowActive(dialog));
}

void Key(int key, Qt::KeyboardModifiers modifiers) {
  QWidget* focus = QApplication::focusWidget();
  QVERIFY2(focus != nullptr, "no widget has the focus");
  QTest::keyClick(focus, static_cast<Qt::Key>(key), modifiers);
  QCoreApplication::processEvents();
}

void Type(const QString& text) {
  for (const QChar c : text) {
    QWidget* focus = QApplication::focusWidget();
    QVERIFY2(focus != nullptr, "no widget has the focus");
    QTest::keyClicks(focus, QString(c));
    QCoreApplication::processEvents();
  }
}

void EachPage(QDialog* dialog, const std::function<void(int page)>& check) {
  auto* tabbed = dynamic_cast<ui::TabbedDialog*>(dialog);
  if (tabbed == nullptr) check(-1);
  for (int page = 0; tabbed != nullptr && page < tabbed->Tabs()->count(); ++page) {
    tabbed->Tabs()->setCurrentIndex(page);
    check(page);
    if (QTest::currentTestFailed()) return;
  }
  dialog->hide();
}

EveryDialog::EveryDialog() : model(FilledModel()) {
  FillCase(edited);
  casedata::CExcInputStreamData& in = *edited.inputStreams.At(0);
  dialogs.push_back(std::make_unique<ui::CaseEditor>(edited, model->sheetNames));
  dialogs.push_back(std::make_unique<ui::OptimiserDialog>(
      model::OptimiserPage::kObjectiveAndConstraints, *model));
  dialogs.push_back(std::make_unique<ui::CompositionDialog>(edited.compositions, in.compositionName,
                                                            in.composition));
  dialogs.push_back(std::make_unique<ui::CompositionListDialog>(edited.compositions));
  dialogs.push_back(std::make_unique<ui::CompositionSetupDialog>(*edited.compositions.At(0)));
  dialogs.push_back(std::make_unique<ui::PublishedDialog>(*model));
  dialogs.push_back(std::make_unique<ui::ConfigurationDialog>(plugIns));
  dialogs.push_back(std::make_unique<ui::SimpleFileDialog>(fileName));
  dialogs.push_back(std::make_unique<ui::AutoGenerateDialog>(casedata::kInputRowCount));
}

EveryDialog::~EveryDialog() = default;

}  // namespace ui_test
