// Every dialog and page, filled from a realistic case: its texts, and a
// picture (test-artefacts/ui/<platform>) that shows something, with no
// heading cut, every column and listed row in view and no widget too small;
// Tab reaches every button; every field has a label, and every label, group,
// tab, box and button a mnemonic of its own where they can be pressed
// together (a window and the page it shows), going where it says. And every
// Help button's topic has a section of the help page.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <iterator>

#include "ui/ui_fixture.h"
#include "ui/widgets/pages.h"

namespace {

using ui_test::InGrid;

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

// What the size a dialog opened with must hold, on the page shown.
void CheckRoom(QWidget* dialog, const QString& name) {
  for (ui::Grid* grid : dialog->findChildren<ui::Grid*>()) {
    if (!grid->isVisible()) continue;
    const QString where = name + " " + grid->objectName();
    QHeaderView* header = grid->horizontalHeader();
    const QFontMetrics metrics(header->font());
    const int margin = 2 * grid->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int column = 1; column <= grid->DataColumns(); ++column) {
      const QString heading = grid->Text(0, column);
      QVERIFY2(header->sectionSize(column - 1) >= metrics.horizontalAdvance(heading) + margin,
               qPrintable(where + ": heading cut: " + heading));
    }
    QVERIFY2(grid->horizontalScrollBar()->maximum() == 0,
             qPrintable(where + ": not every column in view"));
    const int last = grid->ShownRows() - 1;
    QVERIFY2(grid->rowViewportPosition(last) + grid->rowHeight(last) <= grid->viewport()->height(),
             qPrintable(where + QString(": fewer than %1 rows in view").arg(last + 1)));
  }
  const QRect inside = dialog->rect();
  for (QWidget* widget : dialog->findChildren<QWidget*>()) {
    if (!widget->isVisible() || ui_test::InGrid(widget) || widget->isWindow()) continue;
    // The parts of a spin box or an editable choice are sized by it.
    if (qobject_cast<QAbstractSpinBox*>(widget->parentWidget()) != nullptr ||
        qobject_cast<QComboBox*>(widget->parentWidget()) != nullptr) {
      continue;
    }
    const QRect at(widget->mapTo(dialog, QPoint(0, 0)), widget->size());
    QVERIFY2(inside.contains(at),
             qPrintable(name + ": outside the dialog: " + widget->metaObject()->className() + " " +
                        widget->objectName()));
    const QSize needed = widget->minimumSizeHint();
    QVERIFY2(widget->width() >= needed.width() && widget->height() >= needed.height(),
             qPrintable(name + ": cut off: " + widget->metaObject()->className() + " " +
                        widget->objectName()));
  }
}

void Shoot(QWidget* dialog, const QString& name) {
  CheckRoom(dialog, name);
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

// The widgets Tab and Shift+Tab stop at, in the dialog as it is shown.
QList<QWidget*> TabStops(QWidget* dialog) {
  QList<QWidget*> stops;
  QWidget* widget = dialog;
  do {
    widget = widget->nextInFocusChain();
    if (widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) &&
        widget->window() == dialog) {
      stops << widget;
    }
  } while (widget != dialog);
  return stops;
}

// Every button can be reached with Tab (in a grid, the current row's button
// cells and no other row's).
void CheckReach(QWidget* dialog, const QString& page) {
  const QList<QWidget*> stops = TabStops(dialog);
  for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
    if (!button->isVisible() || InGrid(button) || button->inherits("QTableCornerButton")) continue;
    QVERIFY2(stops.contains(button), qPrintable(page + ": Tab misses " + button->text()));
  }
  for (const ui::Grid* grid : dialog->findChildren<ui::Grid*>()) {
    if (!grid->isVisible()) continue;
    const int row = std::max(grid->CurrentRow(), 1);
    for (int r = 1; r <= grid->DataRows(); ++r) {
      for (int column = 1; column <= grid->DataColumns(); ++column) {
        QPushButton* button = grid->Button(r, column);
        if (button == nullptr) continue;
        QVERIFY2(stops.contains(button) == (r == row),
                 qPrintable(QString("%1: %2 of row %3 %4 a Tab stop")
                                .arg(page, button->text())
                                .arg(r)
                                .arg(r == row ? "is not" : "is")));
      }
    }
  }
}

// A text's mnemonic marks: '&' before anything but another '&' ("&&"
// shows one '&').
int MnemonicMarks(const QString& text) {
  int marks = 0;
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') ++marks;
    ++i;
  }
  return marks;
}

// What can take a mnemonic in the window as it is shown: its kind and text,
// and what pressing it should reach (a label's buddy, a group, a tab).
struct Marked {
  QString what;  // "label \"&Name\"" for messages
  QString text;
  QWidget* owner = nullptr;
  QWidget* target = nullptr;  // labels and groups: focus goes into it
  QTabWidget* tabs = nullptr;
  int tab = -1;
};

// Shown, in this window (not a nested one), and not a button cell of a grid,
// which a row of its own repeats.
bool Counts(const QWidget* widget, const QWidget* window) {
  return widget->isVisible() && widget->window() == window && !InGrid(widget) &&
         !widget->inherits("QTableCornerButton");
}

// What the window shows that carries text a person could want a key for;
// `problems` gets every label whose mnemonic and buddy do not go together.
QList<Marked> Collect(QWidget* window, QStringList& problems) {
  QList<Marked> marked;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (!Counts(label, window)) continue;
    const QString what = "label \"" + label->text() + "\"";
    const bool mnemonic = MnemonicMarks(label->text()) > 0;
    if (label->buddy() != nullptr && !mnemonic)
      problems << what + ": a field's label without a mnemonic";
    if (label->buddy() == nullptr && mnemonic) problems << what + ": a mnemonic with no buddy";
    if (label->buddy() != nullptr) marked.push_back({what, label->text(), label, label->buddy()});
  }
  // Every field has a label to carry its key (the forecast direction is shown without one).
  for (QWidget* field : window->findChildren<QWidget*>()) {
    const bool input = qobject_cast<QLineEdit*>(field) != nullptr ||
                       qobject_cast<QComboBox*>(field) != nullptr ||
                       qobject_cast<QSpinBox*>(field) != nullptr;
    const QWidget* up = field->parentWidget();
    if (!input || !Counts(field, window) || qobject_cast<const QComboBox*>(up) != nullptr ||
        qobject_cast<const QSpinBox*>(up) != nullptr || field->objectName() == "forecastDirection")
      continue;
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    if (std::none_of(labels.begin(), labels.end(),
                     [field](QLabel* l) { return l->buddy() == field; }))
      problems << field->objectName() + ": a field without a label";
  }
  for (QGroupBox* group : window->findChildren<QGroupBox*>()) {
    if (Counts(group, window)) {
      marked.push_back({"group \"" + group->title() + "\"", group->title(), group, group});
    }
  }
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    if (Counts(button, window) && !button->text().isEmpty()) {
      marked.push_back({QString(button->metaObject()->className()) + " \"" + button->text() + "\"",
                        button->text(), button, nullptr});
    }
  }
  for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
    if (!Counts(tabs, window)) continue;
    for (int i = 0; i < tabs->count(); ++i) {
      Marked tab{"tab \"" + tabs->tabText(i) + "\"", tabs->tabText(i), tabs, nullptr};
      tab.tabs = tabs;
      tab.tab = i;
      marked.push_back(tab);
    }
  }
  return marked;
}

// Every problem with the mnemonics of the window as it is shown, as text.
QStringList MnemonicProblems(QWidget* window) {
  QStringList problems;
  const QList<Marked> marked = Collect(window, problems);
  QMap<QString, QStringList> byKey;
  for (const Marked& item : marked) {
    const int marks = MnemonicMarks(item.text);
    if (marks != 1) {
      problems << item.what + (marks == 0 ? ": no mnemonic" : ": more than one mnemonic");
      continue;
    }
    byKey[QKeySequence::mnemonic(item.text).toString()] << item.what;
  }
  for (auto it = byKey.cbegin(); it != byKey.cend(); ++it) {
    if (it.value().size() > 1) problems << it.key() + " is shared: " + it.value().join(", ");
  }
  return problems;
}

void PressMnemonic(QWidget* window, const QString& text) {
  QWidget* focus = QApplication::focusWidget();
  QWidget* receiver = focus != nullptr && focus->window() == window ? focus : window;
  const QKeyCombination key = QKeySequence::mnemonic(text)[0];
  QTest::keyClick(receiver, key.key(), key.keyboardModifiers());
  QCoreApplication::processEvents();
}

// Each mnemonic of the page shown: labels and groups take the focus to their
// field, tabs show their page; `pressed` counts them.
void CheckMnemonics(QDialog* dialog, const QString& where, int& pressed) {
  QStringList problems = MnemonicProblems(dialog);
  QVERIFY2(problems.isEmpty(), qPrintable(where + ": " + problems.join("; ")));
  auto* tabbed = dynamic_cast<ui::TabbedDialog*>(dialog);
  const int page = tabbed != nullptr ? tabbed->Tabs()->currentIndex() : 0;
  for (const Marked& item : Collect(dialog, problems)) {
    if (item.tabs != nullptr) {
      PressMnemonic(dialog, item.text);
      QVERIFY2(item.tabs->currentIndex() == item.tab, qPrintable(where + ": " + item.what));
      item.tabs->setCurrentIndex(page);
      ++pressed;
    } else if (item.target != nullptr && item.target->isEnabled()) {
      dialog->setFocus();
      PressMnemonic(dialog, item.text);
      QWidget* focus = QApplication::focusWidget();
      QVERIFY2(focus != nullptr && (focus == item.target || item.target->isAncestorOf(focus) ||
                                    focus->focusProxy() == item.target),
               qPrintable(where + ": " + item.what + " leaves the focus on " +
                          (focus != nullptr ? focus->objectName() : QString("nothing"))));
      ++pressed;
    }
  }
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
  // Keys need the active window, which a bare X server does not give every
  // dialog: Tab and the mnemonics are checked offscreen.
  void everyDialogAndPage() {
    ui_test::ScriptedSeams seams;
    ui_test::EveryDialog every;
    QCOMPARE(every.dialogs.size(), std::size(kDialogs));
    const bool keys = QApplication::platformName() == "offscreen";
    int pressed = 0;
    for (std::size_t i = 0; i < std::size(kDialogs); ++i) {
      QDialog* dialog = every.dialogs[i].get();
      const QString name = kDialogs[i].name;
      if (keys) ui_test::Open(dialog);
      dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      ui_test::EachPage(dialog, [&](int page, const QString& where) {
        Shoot(dialog, page < 0 ? name : QString("%1-%2").arg(name).arg(page + 1));
        if (keys) CheckReach(dialog, where);
        if (keys) CheckMnemonics(dialog, where, pressed);
      });
      ExpectTexts(dialog, kDialogs[i].texts);
    }
    QVERIFY2(!keys || pressed >= 50, qPrintable(QString::number(pressed)));
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
