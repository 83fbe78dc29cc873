// Help: every dialog's Help button asks for a topic the help page made from
// docs/dialogs-help.md has a section for, and the driver's own topic too.
#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

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
    ui_test::EveryDialog every;
    for (const auto& dialog : every.dialogs) {
      QPushButton* help =
          ui_test::Find<QDialogButtonBox>(dialog.get(), "buttons")->button(QDialogButtonBox::Help);
      if (help != nullptr) help->click();
    }
    // Five dialogs, five topics of their own; 1020 is the driver's.
    QCOMPARE(asked.size(), 5);
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
