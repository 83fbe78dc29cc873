// Runs the dialog test classes: all of them, or the one named first on the
// command line (the rest of the arguments go to QtTest).
#include <QApplication>
#include <QTest>
#include <cstring>
#include <memory>
#include <vector>

#include "ui/ui_fixture.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
  std::vector<char*> rest{argv[0]};
  for (int i = only != nullptr ? 2 : 1; i < argc; ++i)
    rest.push_back(argv[i]);
  int failures = 0;
  for (const ui_test::SuiteFactory& suite : ui_test::Suites()) {
    if (only != nullptr && std::strcmp(only, suite.name) != 0) continue;
    const std::unique_ptr<QObject> object = suite.make();
    failures += QTest::qExec(object.get(), static_cast<int>(rest.size()), rest.data());
  }
  return failures == 0 ? 0 : 1;
}
