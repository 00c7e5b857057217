// Run-time errors: the two handler styles, and what every failure becomes.
#include "platform/desktop/ErrorHandling.h"
#include "support/RaisedError.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace errors = platform::errors;

namespace {

// Each step runs; a failing one stops where it fails and its error is kept
// until another fails, whatever it threw.
TEST(ErrorHandling, SkipFailingStepsRunsEveryStepAndKeepsTheLastError) {
  std::vector<int> ran;
  platform::SkipFailingSteps step;
  EXPECT_TRUE(step([&] { ran.push_back(1); }));
  EXPECT_FALSE(step.lastError());
  EXPECT_FALSE(step([&] {
    platform::raise(errors::FileNotFound);
    ran.push_back(99);
  }));
  EXPECT_TRUE(step([&] { ran.push_back(2); }));
  EXPECT_EQ(step.lastError().value().number(), errors::FileNotFound);
  EXPECT_EQ(ran, std::vector<int>({1, 2}));
  step([] { throw std::bad_alloc(); });
  EXPECT_EQ(step.lastError()->description(), QStringLiteral("Out of memory"));
  step([] { throw std::runtime_error("bad state"); });
  EXPECT_EQ(step.lastError()->number(), errors::InternalError);
  EXPECT_EQ(step.lastError()->description(), QStringLiteral("bad state"));
}

// The first error leaves the body for the handler; one the handler raises
// goes to the caller.
TEST(ErrorHandling, WithErrorHandlerHandsTheFirstErrorToTheHandler) {
  std::vector<int> ran;
  const auto body = [&] {
    ran.push_back(1);
    platform::raise(errors::InvalidPicture);
    ran.push_back(2);
  };
  int handled = 0;
  platform::withErrorHandler(body, [&](const platform::RuntimeError& error) { handled = error.number(); });
  EXPECT_EQ(ran, std::vector<int>({1}));
  EXPECT_EQ(handled, errors::InvalidPicture);
  platform::withErrorHandler([] {}, [&](const platform::RuntimeError&) { handled = 0; });
  EXPECT_EQ(handled, errors::InvalidPicture);
  EXPECT_EQ(raisedError([&] {
              platform::withErrorHandler(body, [](const platform::RuntimeError&) { platform::raise(errors::Overflow); });
            }),
            errors::Overflow);
}

}  // namespace
