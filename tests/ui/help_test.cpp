// Help: every dialog's Help button asks for a topic the help page made from
// docs/dialogs-help.md has a section for, and the driver's own topic too.
#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include "ui/dialogs/case_dialog.h"
#include "ui/dialogs/composition_dialogs.h"
#include "ui/dialogs/optimiser_dialog.h"
#include "ui/dialogs/other_dialogs.h"
#include "ui/ui_fixture.h"

namespace {

class HelpTest : public QObject {
  Q_OBJECT

 private slots:
  void everyHelpButtonOpensATopicOfTheHelpPage() {
    QFile file(GRIDMOOR_HELP_PAGE);
    QVERIFY2(file.open(QIODevice::ReadOnly), GRIDMOOR_HELP_PAGE);
    const QString page = QString::fromUtf8(file.readAll());
    QVERIFY(page.startsWith("<!DOCTYPE html>"));
    ui_test::ScriptedSeams seams;
    QList<int> asked;
    ui::CurrentSeams().help = [&asked](int topic) { asked << topic; };
    casedata::CExcCaseDetails edited;
    ui_test::FillCase(edited);
    auto model = ui_test::MakeModel();
    casedata::CExcInputStreamData& in = *edited.inputStreams.At(0);
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.push_back(std::make_unique<ui::CaseEditor>(edited, std::vector<std::string>{}));
    dialogs.push_back(std::make_unique<ui::CompositionDialog>(edited.compositions,
                                                              in.compositionName, in.composition));
    dialogs.push_back(std::make_unique<ui::CompositionListDialog>(edited.compositions));
    dialogs.push_back(
        std::make_unique<ui::OptimiserDialog>(model::OptimiserPage::kControls, *model));
    dialogs.push_back(std::make_unique<ui::PublishedDialog>(*model));
    for (const auto& dialog : dialogs) {
      auto* buttons = ui_test::Find<QDialogButtonBox>(dialog.get(), "buttons");
      QPushButton* help = buttons->button(QDialogButtonBox::Help);
      QVERIFY2(help != nullptr, qPrintable(dialog->windowTitle()));
      help->click();
    }
    // Five dialogs, five topics of their own; 1020 is the driver's.
    QCOMPARE(QSet<int>(asked.begin(), asked.end()).size(), 5);
    asked << 1020;
    for (const int topic : asked) {
      QVERIFY2(page.contains(QString("<h2 id=\"topic-%1\">").arg(topic)),
               qPrintable(QString("no section for topic %1").arg(topic)));
    }
    // The page says what the dialogs show, in their own words.
    for (const char* text : {"Edit the Excel file, inputs, and outputs",
                             "Setup of Optimisation Components", "&quot;&lt;=&gt;&quot;"}) {
      QVERIFY2(page.contains(text), text);
    }
  }
};

}  // namespace

QTEST_MAIN(HelpTest)
#include "help_test.moc"
