#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "casedata/case_details.h"
#include "casedata/ext_collection.h"

namespace {

TEST(CaseDetailsTest, CopyKeepsTheCaseButNotTheLiveState) {
  casedata::CExcCaseDetails details;
  details.workbookOpen = 1;
  details.fileName = "/w/a.xlsx";
  details.inputCount = 3;
  details.outputCount = 4;
  details.macros[2] = "Module1.StartOfRun";
  details.passDate[2] = true;
  details.plugIns = "/w/addin.xlam";
  details.useCompositions = 1;
  details.hideInterface = true;

  // The live state (open flag, plug-ins) stays behind; every field of the case comes along.
  const casedata::CExcCaseDetails copy(details);
  EXPECT_EQ(
      std::tie(copy.workbookOpen, copy.plugIns, copy.fileName, copy.inputCount, copy.outputCount,
               copy.macros[2], copy.passDate[2], copy.useCompositions, copy.hideInterface),
      std::tuple(0, "", "/w/a.xlsx", 3u, 4u, "Module1.StartOfRun", true, 1, true));

  // Assignment leaves the target's live state alone.
  casedata::CExcCaseDetails target;
  target.workbookOpen = 1;
  target.plugIns = "/mine.xlam";
  target = copy;
  EXPECT_EQ(std::tie(target.workbookOpen, target.plugIns, target.fileName),
            std::tuple(1, "/mine.xlam", "/w/a.xlsx"));
}

struct Counted {
  static inline int alive = 0;
  explicit Counted(int v) : value(v) { ++alive; }
  Counted(const Counted& other) : value(other.value) { ++alive; }
  virtual ~Counted() { --alive; }
  int value;
};

struct CountedChild : Counted {
  using Counted::Counted;
  std::string extra = "child";
};

TEST(ExtCollectionTest, OwnsCopiesDeeplyAndDeletesItsElements) {
  {
    casedata::CExtCollection<Counted> list;
    list.Add(std::make_unique<Counted>(1));
    list.Add(std::make_unique<CountedChild>(2));
    EXPECT_EQ(list.Add(std::unique_ptr<Counted>()), nullptr);
    EXPECT_EQ(Counted::alive, 2);

    casedata::CExtCollection<Counted> copy(list);
    EXPECT_EQ(Counted::alive, 4);
    ASSERT_EQ(copy.size(), 2u);
    EXPECT_NE(copy.At(0), list.At(0));
    EXPECT_EQ(copy.At(1)->value, 2);
    // The copy of a derived element is of the derived class.
    ASSERT_NE(dynamic_cast<CountedChild*>(copy.At(1)), nullptr);
    EXPECT_EQ(dynamic_cast<CountedChild*>(copy.At(1))->extra, "child");

    copy.RemoveAt(0);
    EXPECT_EQ(copy.At(0)->value, 2);
    copy.RemoveAt(5);
    EXPECT_EQ(copy.At(5), nullptr);
    EXPECT_EQ(Counted::alive, 3);
    list.Clear();
    EXPECT_EQ(Counted::alive, 1);
  }
  EXPECT_EQ(Counted::alive, 0);
}

}  // namespace
