// Mnemonics: every field has a label, and every label of a field, group
// title, tab title, box and button of every dialog and page has one, no two of them share a key
// where they can be pressed together (a window and the page it shows), a label's mnemonic has a
// field to go to, and pressing each one goes where it says.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <algorithm>

#include "ui/ui_fixture.h"
#include "ui/widgets/pages.h"

namespace {

using ui_test::EachPage;
using ui_test::InGrid;
using ui_test::Open;

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

class MnemonicTest : public QObject {
  Q_OBJECT

 private slots:
  // Every dialog and page has its own mnemonics; labels and groups take the
  // focus to their field, tabs show their page.
  void everyDialogAndPageHasItsOwnMnemonicsAndEachGoesWhereItSays() {
    ui_test::ScriptedSeams seams;
    ui_test::EveryDialog every;
    QCOMPARE(every.dialogs.size(), std::size_t{9});
    int pressed = 0;
    for (const auto& dialog : every.dialogs) {
      Open(dialog.get());
      EachPage(dialog.get(), [&dialog, &pressed](int, const QString& where) {
        QStringList problems = MnemonicProblems(dialog.get());
        QVERIFY2(problems.isEmpty(), qPrintable(where + ": " + problems.join("; ")));
        auto* tabbed = dynamic_cast<ui::TabbedDialog*>(dialog.get());
        const int page = tabbed != nullptr ? tabbed->Tabs()->currentIndex() : 0;
        for (const Marked& item : Collect(dialog.get(), problems)) {
          if (item.tabs != nullptr) {
            PressMnemonic(dialog.get(), item.text);
            QVERIFY2(item.tabs->currentIndex() == item.tab, qPrintable(where + ": " + item.what));
            item.tabs->setCurrentIndex(page);
            ++pressed;
          } else if (item.target != nullptr && item.target->isEnabled()) {
            dialog->setFocus();
            PressMnemonic(dialog.get(), item.text);
            QWidget* focus = QApplication::focusWidget();
            QVERIFY2(
                focus != nullptr && (focus == item.target || item.target->isAncestorOf(focus) ||
                                     focus->focusProxy() == item.target),
                qPrintable(where + ": " + item.what + " leaves the focus on " +
                           (focus != nullptr ? focus->objectName() : QString("nothing"))));
            ++pressed;
          }
        }
      });
    }
    QVERIFY2(pressed >= 50, qPrintable(QString::number(pressed)));
  }
};

}  // namespace

QTEST_MAIN(MnemonicTest)
#include "mnemonic_test.moc"
