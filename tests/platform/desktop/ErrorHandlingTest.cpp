// Run-time errors: the skip-the-failing-step style, and what every failure
// becomes. The one-handler style is a call of the handler on the error; the
// settings' reading shows it ends the body at the first error (SettingsDialog).
#include "platform/desktop/ErrorHandling.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace errors = platform::errors;

namespace {

// Each step runs; a failing one is skipped and its error kept until another
// fails, whatever it threw.
TEST(ErrorHandling, SkipFailingStepsRunsEveryStepAndKeepsTheLastError) {
  std::vector<int> ran;
  platform::SkipFailingSteps step;
  EXPECT_TRUE(step([&] { ran.push_back(1); }));
  EXPECT_FALSE(step([] { platform::raise(errors::FileNotFound); }));
  EXPECT_TRUE(step([&] { ran.push_back(2); }));
  EXPECT_EQ(step.lastError().value().number(), errors::FileNotFound);
  EXPECT_EQ(ran, std::vector<int>({1, 2}));
  step([] { throw std::bad_alloc(); });
  EXPECT_EQ(step.lastError()->description(), QStringLiteral("Out of memory"));
  step([] { throw std::runtime_error("bad state"); });
  EXPECT_EQ(step.lastError()->number(), errors::InternalError);
  EXPECT_EQ(step.lastError()->description(), QStringLiteral("bad state"));
}

}  // namespace
