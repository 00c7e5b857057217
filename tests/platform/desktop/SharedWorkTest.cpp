// Work many ask for at once is done once, and given up only when everyone
// who asked has given up: the preview and the viewer converting one metafile.
#include "platform/desktop/SharedWork.h"

#include "platform/desktop/ErrorHandling.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using platform::BackgroundWork;

// Work that notes when it is first asked whether it was cancelled: an asker
// that waits for another's work asks that as soon as it has joined.
struct Asker : BackgroundWork {
  bool cancelled() const override {
    joined = true;
    return BackgroundWork::cancelled();
  }
  mutable std::atomic<bool> joined{false};
  std::shared_ptr<int> got;
};

void waitFor(const std::atomic<bool>& flag) {
  for (int i = 0; i < 10'000 && !flag; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(flag);
}

TEST(SharedWork, DoneOnceForEveryoneWhoAsksAndGivenUpOnlyWhenAllHave) {
  const std::pair<bool, bool> cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const auto& [firstGivesUp, secondGivesUp] : cases) {
    SCOPED_TRACE(testing::Message() << firstGivesUp << secondGivesUp);
    const bool givenUp = firstGivesUp && secondGivesUp;
    platform::SharedWork<int, int> shared;
    std::atomic<int> made{0};
    std::atomic<bool> started{false}, finish{false}, sawGivenUp{false};
    const auto make = [&](const BackgroundWork& wanted) -> std::shared_ptr<int> {
      ++made;
      started = true;
      while (!finish && !wanted.cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      sawGivenUp = wanted.cancelled();
      return sawGivenUp ? nullptr : std::make_shared<int>(42);
    };
    Asker first, second;
    const auto ask = [&](Asker& asker) {
      return std::thread([&] { platform::runCatchingErrors([&] { asker.got = shared.get(7, &asker, make); }); });
    };
    std::thread making = ask(first);
    waitFor(started);
    std::thread waiting = ask(second);
    waitFor(second.joined);
    if (firstGivesUp) first.cancel();
    if (secondGivesUp) {
      second.cancel();
      waiting.join();  // it leaves without waiting for the work
    }
    if (!givenUp) finish = true;
    making.join();
    if (waiting.joinable()) waiting.join();
    EXPECT_EQ(made, 1);
    EXPECT_EQ(sawGivenUp, givenUp);
    EXPECT_EQ(second.got != nullptr, !secondGivesUp);
    EXPECT_EQ(first.got != nullptr, !givenUp) << "the one who made it has it, unless it was given up";
  }
}

}  // namespace
