#include "com/unknown.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "com/apartment.h"
#include "thrown_error.h"

namespace {

// Two interfaces one object can implement side by side.
class Sheet : public virtual com::Unknown {
 public:
  virtual int Cells() const = 0;
};

class Chart : public virtual com::Unknown {
 public:
  virtual int Series() const = 0;
};

class Workbook : public virtual com::Unknown {};

class Tracked : public Sheet, public Chart {
 public:
  explicit Tracked(std::atomic<int>* destroyed) : destroyed_(destroyed) {}
  ~Tracked() override { ++*destroyed_; }
  int Cells() const override { return 3; }
  int Series() const override { return 7; }

 private:
  std::atomic<int>* destroyed_;
};

TEST(Ptr, CountsReferencesHandsThemOverAndRefusesCallsWhenEmpty) {
  std::atomic<int> destroyed{0};
  com::Ptr<Tracked> first = com::MakeObject<Tracked>(&destroyed);
  EXPECT_EQ(first->RefCount(), 1u);
  {
    com::Ptr<Tracked> second = first;
    com::Ptr<Tracked> third = std::move(second);
    EXPECT_FALSE(second);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(first->RefCount(), 2u);
  }
  com::Ptr<Tracked> other = com::MakeObject<Tracked>(&destroyed);
  other = first;  // releases the object `other` held
  // Self-assignment, through a reference so that compilers do not flag it.
  const com::Ptr<Tracked>& same = other;
  other = same;
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(first->RefCount(), 2u);
  other.Reset();
  first.Reset();
  EXPECT_EQ(destroyed, 2);

  com::Ptr<Tracked> holder;
  EXPECT_EQ(com_test::FailureOf([&] { holder->Cells(); }), com::E_POINTER);
  EXPECT_EQ(com_test::FailureOf([&] { *holder; }), com::E_POINTER);
}

TEST(QueryInterface, FindsTheInterfacesTheObjectImplements) {
  std::atomic<int> destroyed{0};
  com::Ptr<Sheet> sheet = com::MakeObject<Tracked>(&destroyed);
  com::Ptr<Chart> chart = com::QueryInterface<Chart>(sheet);
  EXPECT_EQ(chart->Series(), 7);
  EXPECT_EQ(sheet->RefCount(), 2u);  // one object, one count
  com::Ptr<com::Unknown> unknown = chart;
  EXPECT_EQ(com::QueryInterface<Sheet>(unknown), sheet);

  EXPECT_EQ(com_test::FailureOf([&] { com::QueryInterface<Workbook>(sheet); }), com::E_NOINTERFACE);
  EXPECT_EQ(com_test::FailureOf([] { com::QueryInterface<Chart>(com::Ptr<Sheet>()); }),
            com::E_POINTER);
  EXPECT_FALSE(com::TryQueryInterface<Workbook>(sheet)) << "not a workbook: an empty handle";
  EXPECT_EQ(com::TryQueryInterface<Chart>(unknown), chart);
  EXPECT_FALSE(com::TryQueryInterface<Chart>(com::Ptr<Sheet>()));
  sheet.Reset();
  chart.Reset();
  EXPECT_EQ(destroyed, 0);
  unknown.Reset();
  EXPECT_EQ(destroyed, 1);
}

TEST(Ptr, ReferencesFromManyThreads) {
  std::atomic<int> destroyed{0};
  com::Ptr<Tracked> shared = com::MakeObject<Tracked>(&destroyed);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([shared] {
      com::ApartmentScope apartment;
      for (int i = 0; i < 10000; ++i) {
        com::Ptr<Tracked> copy = shared;
        com::Ptr<Chart> chart = com::QueryInterface<Chart>(copy);
        EXPECT_EQ(chart->Series(), 7);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(shared->RefCount(), 1u);
  EXPECT_EQ(destroyed, 0);
  shared.Reset();
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
