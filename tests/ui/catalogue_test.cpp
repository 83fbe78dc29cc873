// Every dialog and page, filled from a realistic case: its texts, and a
// picture (test-artefacts/ui/<platform>) that shows something. And every
// Help button's topic has a section of the help page.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <iterator>

#include "ui/ui_fixture.h"

namespace {

// Every visible text of a widget tree: titles, labels, buttons, tabs, group
// titles, choice items and grid cells.
QStringList TextsOf(QWidget* root) {
  QStringList texts{root->windowTitle()};
  for (const QLabel* label : root->findChildren<QLabel*>())
    texts << ui_test::Shown(label->text());
  for (const QAbstractButton* button : root->findChildren<QAbstractButton*>())
    texts << ui_test::Shown(button->text());
  for (const QGroupBox* group : root->findChildren<QGroupBox*>())
    texts << ui_test::Shown(group->title());
  for (const QTabWidget* tabs : root->findChildren<QTabWidget*>()) {
    for (int i = 0; i < tabs->count(); ++i)
      texts << ui_test::Shown(tabs->tabText(i));
  }
  for (const QComboBox* combo : root->findChildren<QComboBox*>()) {
    for (int i = 0; i < combo->count(); ++i)
      texts << combo->itemText(i);
  }
  for (const ui::Grid* grid : root->findChildren<ui::Grid*>()) {
    for (int row = 0; row <= grid->DataRows(); ++row) {
      for (int column = 0; column <= grid->DataColumns(); ++column) {
        texts << grid->Text(row, column);
        const QStringList choices = grid->Choices(row, column);
        if (!choices.isEmpty()) texts << "choices:" + choices.join('\n');
      }
    }
  }
  return texts;
}

// `texts` holds the expected texts separated by '|' (no text has one); the
// items of a choice cell or box are one text, "choices:" and the items on lines.
void ExpectTexts(QWidget* dialog, const char* texts) {
  const QStringList shown = TextsOf(dialog);
  for (const QString& text : QString::fromUtf8(texts).split('|')) {
    QVERIFY2(shown.contains(text),
             qPrintable(dialog->windowTitle() + ": missing \"" + text + "\""));
  }
}

void Shoot(QWidget* dialog, const QString& name) {
  const QImage image = dialog->grab().toImage();
  QSet<QRgb> colours;
  for (int y = 0; y < image.height() && colours.size() < 64; y += 3) {
    for (int x = 0; x < image.width(); x += 3)
      colours.insert(image.pixel(x, y));
  }
  QVERIFY2(colours.size() >= 16, qPrintable(name + " looks blank"));
  const QString folder = QString(GRIDMOOR_UI_ARTEFACTS) + "/" + QApplication::platformName();
  QVERIFY(QDir().mkpath(folder));
  QVERIFY(image.save(folder + "/" + name + ".png"));
}

// The dialogs of EveryDialog in its order: their pictures' name and the
// texts they show.
const struct {
  const char* name;
  const char* texts;
} kDialogs[] = {
    {"case-editor",
     "Edit the Excel file, inputs, and outputs|Excel Details|Input Data|Output Data|Macros|"
     "Excel spreadsheet file|Browse|"
     "If no valid filename is entered, a new Excel spreadsheet will be opened|Number of inputs|"
     "Number of outputs|EOS Data|Pass compositional data|Setup Compositions|"
     "Hide interface while Conflux is calculating|Input #|Sheet name|"
     "(Can be left blank or you can create a new one dynamically)|Solver|Display|Auto generate|"
     "Forecast|Horizontally|Vertically|Composition|Cells for output stream|Output #|"
     "Copy from input #|Copy|Run macro ...|Entry point|Macro name|Pass date as argument|"
     "Start Of Timestep|End Of Timestep|Pre-module solve|Post-system solve|Start Of Run|"
     "End Of Run|"
     "Macro name supplied in this screen must be complete (fully qualified), e.g.\nSheet1.amacro, "
     "or\nThisWorkbook.amacro.\nNO BRACKETS AT THE END !|"
     "Examples:|Sub amacro(timestep As Integer)|Sub amacro(timestep As Integer, dt As String)|"
     "Property|Cell|Unit: Oilfield|Date|Oil Rate|Water Rate|Liquid Rate|Gas Rate|Pressure|"
     "Temperature|Oil gravity|Water gravity|Gas gravity|In-1|In-2|Out-1|Out-2|"
     "choices:Oilfield\nS.I.|choices:STB/d\nSm3/d|choices:MMscf/d\n1000Sm3/d\nMscf/d\nscf/d|"
     "choices:deg F\ndeg C\ndeg R\ndeg K|choices:psig\npsia\nBARg\nBARa\nkPAg\nkPAa"},
    {"optimisation",
     "Setup of Optimisation Components|Obj Fn/Constraints|Controls|Integer controls|"
     "Objective function|Define objective function|Worksheet|Cell (e.g. B5)|Mode|"
     "Maximise|Minimise|Name (for reporting purposes)|Unit (for reporting purposes)|"
     "Constraints|Name|Unit|Cell|<=>|Value|Lower bound|Upper bound|Integer Controls|Add|"
     "Delete|Clear|Variable definitions|State name (optional)|choices:Wells\nSep"},
    {"composition",
     "Composition|Compositional data cell|Binary interaction coefficients|EOS model|"
     "Mass rate cell|Units|"
     "(Block of data will be placed/retrieved with these cells at the top left hand corner)|"
     "Property|Unit: Oilfield|Gas|Oil|lb/d|kg/d|Mole Fraction|Critical Temperature|"
     "Critical Pressure|Critical Volume|Acentricity|Molecular Weight|Specific Gravity|"
     "Boiling Point|Volume Shift|Omega A|Omega B|Parachor|COSTALD Vcrit|COSTALD Acent|"
     "choices:ft3/lb.mol\nm3/kg.mol"},
    {"composition-list",
     "Set up a list of compositions for  Excel input and output streams|Edit|Name|"
     "Description|Delete"},
    {"composition-setup", "Set up a composition|EOS Data|Component names|Comp|Name|Clear"},
    {"published-variables",
     "Setup variables to export to Conflux|Clear|Name|Unit|Worksheet|Cell|"
     "Cascade DoSet in forecast from...|Cascade direction|Region width|Region height|"
     "Column delimiter|Row delimiter|choices:Vertical\nHorizontal"},
    {"driver-configuration",
     "Plug-ins to load with each Excel instance. Use ';' to separate entries"},
    {"update-file",
     "Update the Excel file|Excel spreadsheet file|Browse|"
     "If no valid filename is entered, a new Excel spreadsheet will be opened"},
    {"generate-cell-range", "First cell|Arrange|Horizontally|Vertically"},
};

class CatalogueTest : public QObject {
  Q_OBJECT

 private slots:
  void everyDialogAndPage() {
    ui_test::ScriptedSeams seams;
    ui_test::EveryDialog every;
    QCOMPARE(every.dialogs.size(), std::size(kDialogs));
    for (std::size_t i = 0; i < std::size(kDialogs); ++i) {
      QDialog* dialog = every.dialogs[i].get();
      const QString name = kDialogs[i].name;
      dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      ui_test::EachPage(dialog, [&](int page) {
        Shoot(dialog, page < 0 ? name : QString("%1-%2").arg(name).arg(page + 1));
      });
      ExpectTexts(dialog, kDialogs[i].texts);
    }
  }

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

QTEST_MAIN(CatalogueTest)
#include "catalogue_test.moc"
