#include "outcome/outcome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using outcome::Error;
using outcome::Expected;

TEST(Outcome, AnErrorKeepsItsMessageAndResultSuccessHasNeither) {
  const Error success = Error::Success();
  EXPECT_FALSE(success);
  EXPECT_EQ(success.Result(), outcome::kOk);
  EXPECT_EQ(success.Message(), "");

  const Error failed = Error::Failed("There is no connection to Excel");
  EXPECT_TRUE(failed);
  EXPECT_EQ(failed.Result(), outcome::kFailed);
  EXPECT_EQ(failed.Message(), "There is no connection to Excel");
  // A failure with no message is still a failure: "nothing to give".
  EXPECT_TRUE(Error::Failed("", outcome::kNone));
  EXPECT_EQ(Error::Failed("", outcome::kNone).Result(), outcome::kNone);
}

TEST(Outcome, AnExpectedHoldsEitherItsValueOrItsError) {
  Expected<std::unique_ptr<int>> value(std::make_unique<int>(7));
  ASSERT_TRUE(value);
  EXPECT_EQ(**value, 7);
  EXPECT_FALSE(value.GetError());
  std::unique_ptr<int> taken = *std::move(value);  // move-only values pass through
  EXPECT_EQ(*taken, 7);

  Expected<std::string> failed(Error::Failed("Type mismatch", outcome::kFailed));
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.GetError().Message(), "Type mismatch");
  const Error error = failed.TakeError();
  EXPECT_EQ(error.Message(), "Type mismatch");
  EXPECT_EQ(error.Result(), outcome::kFailed);
}

#ifndef NDEBUG
// Each misuse stops the process, naming what was lost.
TEST(OutcomeDeathTest, MisuseAbortsInBuildsWithAssertions) {
  EXPECT_DEATH({ Error dropped = Error::Failed("Outputs!B4 is empty"); }, "unchecked failure.*B4");
  EXPECT_DEATH({ Error dropped = Error::Success(); }, "unchecked success");
  EXPECT_DEATH(
      {
        Error overwritten = Error::Failed("first");
        overwritten = Error::Failed("second");
        overwritten.Consume();
      },
      "unchecked failure.*first");
  EXPECT_DEATH({ Expected<int> dropped(Error::Failed("Type mismatch")); }, "Type mismatch");
  EXPECT_DEATH(
      {
        Expected<int> failed(Error::Failed("Type mismatch"));
        if (!failed) std::printf("%d", *failed);
      },
      "value of an Expected that holds an error: Type mismatch");
  EXPECT_DEATH({ Expected<int> none(Error::Success()); }, "built from a success");
}

TEST(Outcome, LookingMovingOrConsumingDischargesAnError) {
  {
    Error tested = Error::Failed("a");
    EXPECT_TRUE(tested);
  }
  {
    Error read = Error::Failed("b");
    EXPECT_EQ(read.Result(), outcome::kFailed);
  }
  {
    Error consumed = Error::Failed("c");
    consumed.Consume();
  }
  {
    Error moved = Error::Failed("d");
    Expected<int> holder(std::move(moved));  // the duty moves on with it
    EXPECT_EQ(holder.TakeError().Message(), "d");
  }
  {
    Error checked = Error::Failed("e");
    ASSERT_TRUE(checked);
    Expected<int> rethrown(checked);  // a new result must be looked at again
    EXPECT_DEATH({ Expected<int> copy(rethrown); }, "unchecked failure was dropped: e");
    rethrown.Consume();
  }
  { Expected<int> value(3); }  // a value needs no look
}
#endif

}  // namespace
