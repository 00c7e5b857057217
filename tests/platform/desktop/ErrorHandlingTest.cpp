// Run-time errors: their numbers and texts, and the two handler styles.
#include "platform/desktop/ErrorHandling.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using platform::RuntimeError;
namespace errors = platform::errors;

namespace {

TEST(ErrorHandling, SkipFailingStepsRunsEveryStepAndKeepsTheLastError) {
  std::vector<int> ran;
  platform::SkipFailingSteps step;
  EXPECT_FALSE(step.lastError().has_value());
  EXPECT_TRUE(step([&] { ran.push_back(1); }));
  EXPECT_FALSE(step([&] {
    platform::raise(errors::FileNotFound);
    ran.push_back(99);
  }));
  ASSERT_TRUE(step.lastError().has_value());
  EXPECT_EQ(step.lastError()->number(), errors::FileNotFound);
  EXPECT_TRUE(step([&] { ran.push_back(2); }));
  EXPECT_EQ(step.lastError()->number(), errors::FileNotFound);  // a good step does not clear it
  EXPECT_FALSE(step([] { platform::raise(errors::PermissionDenied); }));
  EXPECT_EQ(step.lastError()->number(), errors::PermissionDenied);
  EXPECT_EQ(ran, std::vector<int>({1, 2}));
}

TEST(ErrorHandling, EveryFailureBecomesARunTimeError) {
  platform::SkipFailingSteps step;
  step([] { throw std::bad_alloc(); });
  EXPECT_EQ(step.lastError()->number(), errors::OutOfMemory);
  EXPECT_EQ(step.lastError()->description(), QStringLiteral("Out of memory"));
  step([] { throw std::runtime_error("bad state"); });
  EXPECT_EQ(step.lastError()->number(), errors::InternalError);
  EXPECT_EQ(step.lastError()->description(), QStringLiteral("bad state"));
}

TEST(ErrorHandling, FirstErrorLeavesTheBodyForTheHandler) {
  std::vector<int> ran;
  int handled = 0;
  platform::withErrorHandler(
      [&] {
        ran.push_back(1);
        platform::raise(errors::InvalidPicture);
        ran.push_back(2);
      },
      [&](const RuntimeError& error) { handled = error.number(); });
  EXPECT_EQ(ran, std::vector<int>({1}));
  EXPECT_EQ(handled, errors::InvalidPicture);

  bool called = false;
  platform::withErrorHandler([] {}, [&](const RuntimeError&) { called = true; });
  EXPECT_FALSE(called);
}

TEST(ErrorHandling, ErrorRaisedInTheHandlerGoesToTheCaller) {
  try {
    platform::withErrorHandler([] { platform::raise(errors::FileNotFound); },
                               [](const RuntimeError&) { platform::raise(errors::PermissionDenied); });
    FAIL() << "the handler's error was lost";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), errors::PermissionDenied);
  }
}

TEST(ErrorHandling, ErrorsCarryTheRunTimesDescriptions) {
  const RuntimeError invalid(errors::InvalidPicture);
  EXPECT_EQ(invalid.description(), QStringLiteral("Invalid picture"));
  EXPECT_STREQ(invalid.what(), "481: Invalid picture");
  EXPECT_EQ(platform::errorDescription(errors::PathFileAccessError), QStringLiteral("Path/File access error"));
  EXPECT_EQ(platform::errorDescription(errors::Overflow), QStringLiteral("Overflow"));
  EXPECT_EQ(platform::errorDescription(1234), QStringLiteral("Application-defined or object-defined error"));
}

}  // namespace
