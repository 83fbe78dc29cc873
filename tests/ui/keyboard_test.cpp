// A whole link configuration typed with the keyboard alone, under a real X
// server: every key goes to the widget that has the focus, as a person's
// would, through the same provider the host calls, and the test checks what
// the host receives. The host's own window owns each dialog.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QWindow>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "casedata/composition.h"
#include "casedata/stream_data.h"
#include "gridmoor/host.h"
#include "ui/qt_dialogs.h"
#include "ui/ui_fixture.h"
#include "ui/widgets/grid.h"
#include "ui/widgets/seams.h"

namespace {

using ui_test::Key;
using ui_test::Type;

using Script = std::function<void()>;

// Each dialog, nested ones too, is shown and made active, then driven by the
// next script; its result is whatever the keys made of it.
class Keyboard {
 public:
  explicit Keyboard(QWidget* host) : host_(host) {
    ui::CurrentSeams().runModal = [this](QDialog& dialog) { return Run(dialog); };
    // A refusal would wait for a person: it is recorded instead.
    ui::CurrentSeams().message = [this](QWidget*, ui::MessageIcon, const QString&,
                                        const QString& text) { messages << text; };
  }
  ~Keyboard() { ui::CurrentSeams() = {}; }

  void Then(Script script) { scripts_.push_back(std::move(script)); }
  bool Done() const { return scripts_.empty(); }
  QStringList owned;  // titles of the dialogs the host's window owned
  QStringList messages;

 private:
  int Run(QDialog& dialog) {
    QWidget* previous = QApplication::activeWindow();
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    if (!QTest::qWaitForWindowActive(&dialog)) return QDialog::Rejected;
    const QWindow* parent = dialog.windowHandle()->transientParent();
    if (parent != nullptr && parent->winId() == host_->winId()) owned << dialog.windowTitle();
    if (!scripts_.empty()) {
      Script script = std::move(scripts_.front());
      scripts_.pop_front();
      script();
    }
    const int result = dialog.isVisible() ? int{QDialog::Rejected} : dialog.result();
    dialog.hide();
    if (previous != nullptr) QApplication::setActiveWindow(previous);
    return result;
  }

  QWidget* host_;
  std::deque<Script> scripts_;
};

// A mnemonic; a button it presses clicks a moment later (Qt shows the press).
void Alt(char letter) {
  Key(Qt::Key_A + (letter - 'a'), Qt::AltModifier);
  QTest::qWait(200);
}

// Types a cell and keeps it with Enter.
void Cell(const QString& text) {
  Type(text);
  Key(Qt::Key_Return);
}

// Types cells one after another, moving on with `next`; an empty text skips a cell.
void Cells(const QStringList& texts, Qt::Key next = Qt::Key_Right) {
  for (qsizetype i = 0; i < texts.size(); ++i) {
    if (i > 0) Key(next);
    if (!texts[i].isEmpty()) Cell(texts[i]);
  }
}

// The texts joined by '|', to compare what the host received in one go.
QString Joined(const std::vector<std::string>& texts) {
  QStringList joined;
  for (const std::string& text : texts)
    joined << QString::fromStdString(text);
  return joined.join('|');
}

// Tabs to the grid of that name and makes its first cell current.
void IntoGrid(const char* name) {
  for (int tabs = 0; tabs < 30; ++tabs) {
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && focus->objectName() == name) {
      Key(Qt::Key_Home, Qt::ControlModifier);
      return;
    }
    Key(Qt::Key_Tab);
  }
  QFAIL(qPrintable(QString("Tab never reaches ") + name));
}

// The focus is on the widget of that name, or on the button of that text.
void Focused(const QString& name) {
  QWidget* focus = QApplication::focusWidget();
  QVERIFY2(focus != nullptr, "no widget has the focus");
  const auto* button = qobject_cast<QAbstractButton*>(focus);
  const QString text = button != nullptr ? ui_test::Shown(button->text()) : QString();
  QVERIFY2(
      focus->objectName() == name || text == name,
      qPrintable(QString("the focus is on %1 \"%2\", not %3")
                     .arg(focus->metaObject()->className(), focus->objectName() + text, name)));
}

void SelectAllAndType(const QString& text) {
  Key(Qt::Key_A, Qt::ControlModifier);
  Type(text);
}

class KeyboardTest : public QObject {
  Q_OBJECT

 private slots:
  void aWholeLinkConfigurationTypedWithTheKeyboard() {
    QVERIFY2(QApplication::platformName() == "xcb", "run this under an X server (with-xvfb.sh)");
    QWidget host;  // the host's window
    host.setWindowTitle("Host");
    host.resize(900, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    const auto window = reinterpret_cast<ExtWindow>(static_cast<std::uintptr_t>(host.winId()));
    Keyboard keyboard(&host);
    const auto dialogs = ui::MakeQtDialogs({});
    auto model = ui_test::MakeModel({"Wells", "Sep"});
    casedata::CExcCaseDetails details;

    keyboard.Then([&keyboard] {
      Alt('f');
      Type("/data/gaslift.fods");
      Alt('i');
      SelectAllAndType("2");
      Alt('t');
      SelectAllAndType("1");
      Alt('p');                    // pass compositional data
      keyboard.Then([&keyboard] {  // the list of compositions
        IntoGrid("compositionList");
        // Tab from the grid: the row's "Edit", on the first empty row a new composition.
        Key(Qt::Key_Tab);
        Focused("Edit");
        keyboard.Then([] {
          Alt('e');  // the "EOS Data" group: its grid of names
          Focused("componentNames");
          Key(Qt::Key_Home, Qt::ControlModifier);
          Cells({"C1", "C2", "C3"}, Qt::Key_Down);
          Alt('o');
        });
        Key(Qt::Key_Space);
        Key(Qt::Key_Backtab);  // back in the grid, on the row's "Edit"
        Focused("compositionList");
        Key(Qt::Key_Right);
        Cell("Gas");
        // A second composition on row 2, then its "Delete", both by Tab.
        Key(Qt::Key_Down);
        Key(Qt::Key_Tab);
        Focused("Edit");
        keyboard.Then([] {
          Alt('e');
          Key(Qt::Key_Home, Qt::ControlModifier);
          Cell("N2");
          Alt('o');
        });
        Key(Qt::Key_Space);
        Key(Qt::Key_Tab);
        Focused("Delete");
        Key(Qt::Key_Space);
        Key(Qt::Key_Tab);
        Focused("OK");
        Key(Qt::Key_Return);
      });
      Alt('s');  // setup compositions
      Alt('n');  // the "Input Data" tab
      Alt('s');  // sheet name
      SelectAllAndType("Wells");
      IntoGrid("solverGrid");
      Cells({"B4", "B5", "B6"}, Qt::Key_Down);
      keyboard.Then([] {  // the stream's composition
        Alt('p');
        Key(Qt::Key_Down);  // the first (and only) composition
        Alt('d');
        Type("B20");
        Alt('o');
      });
      Alt('m');
      Alt('u');  // the "Output Data" tab
      Alt('s');
      SelectAllAndType("Sep");
      IntoGrid("outputGrid");
      Cell("H4");
      Alt('o');
    });
    QCOMPARE(dialogs->EditCase(model::CaseDialogKind::kFull, *model, details, window),
             model::DialogResult::kOk);
    QVERIFY(keyboard.Done());
    const casedata::CExcInputStreamData& in = *details.inputStreams.At(0);
    const casedata::CExcOutputStreamData& out = *details.outputStreams.At(0);
    QCOMPARE(Joined({details.fileName, std::to_string(details.inputCount),
                     std::to_string(details.outputCount), std::to_string(details.useCompositions),
                     std::to_string(details.compositions.size()), details.compositions.At(0)->name,
                     Joined(details.compositions.At(0)->components).toStdString(), in.sheetName,
                     in.solverCells[0].cell.str(), in.solverCells[2].cell.str(), in.compositionName,
                     in.composition.componentTableCell.str(), out.sheetName,
                     out.propertyCells[0].cell.str()}),
             QString("/data/gaslift.fods|2|1|1|1|Gas|C1|C2|C3|Wells|B4|B6|Gas|B20|Sep|H4"));

    keyboard.Then([] {
      Alt('d');  // define the objective
      Alt('w');
      SelectAllAndType("Wells");
      Alt('l');
      Type("F12");
      Alt('s');  // the "Constraints" group: its grid
      Focused("constraintsGrid");
      Key(Qt::Key_Home, Qt::ControlModifier);
      Cells({"Lift gas", "", "Wells", "F14"});
      Key(Qt::Key_Right);
      Key(Qt::Key_F2);
      Key(Qt::Key_Down);  // "Less than"
      Key(Qt::Key_Return);
      Key(Qt::Key_Right);
      Cell("6");
      Alt('t');  // the "Controls" tab
      IntoGrid("controlsGrid");
      Cells({"W1 lift gas", "", "Wells", "C5", "0", "1.5"});
      Alt('o');
    });
    QCOMPARE(
        dialogs->SetupOptimisation(model::OptimiserPage::kObjectiveAndConstraints, *model, window),
        model::DialogResult::kOk);
    QVERIFY(keyboard.Done());
    QVERIFY(model->objective.Defined);
    const casedata::CExcConstraint& constraint = *model->constraints.At(0);
    const casedata::CExcControlVariable& control = *model->controls.At(0);
    QCOMPARE(Joined({model->objective.worksheet, model->objective.cell,
                     std::to_string(model->constraints.size()), constraint.name, constraint.cell,
                     std::to_string(constraint.ConstraintType), std::to_string(constraint.Limit),
                     std::to_string(model->controls.size()), control.worksheet,
                     std::to_string(control.LowerBound), std::to_string(control.UpperBound)}),
             QString("Wells|F12|1|Lift gas|F14|0|6.000000|1|Wells|0.000000|1.500000"));

    keyboard.Then([] {
      IntoGrid("publishedGrid");
      Cells({"Total oil", "STB/d", "Plant", "F12"});  // Plant: not a sheet of the workbook
      Alt('o');
    });
    QCOMPARE(dialogs->EditPublishedVariables(*model, window), model::DialogResult::kOk);
    QCOMPARE(model->publishedVariables.size(), std::size_t{1});
    const casedata::CExcExportedVariable& published = *model->publishedVariables.At(0);
    QCOMPARE(Joined({published.name, published.unit, published.worksheet, published.cell}),
             QString("Total oil|STB/d|Plant|F12"));

    // The host's window owned the dialogs it opened (not the nested ones,
    // which their own dialog owns).
    QCOMPARE(keyboard.messages, QStringList());
    for (const char* title :
         {"Edit the Excel file, inputs, and outputs", "Setup of Optimisation Components",
          "Setup variables to export to Conflux"})
      QVERIFY2(keyboard.owned.contains(title), title);
  }
};

}  // namespace

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
