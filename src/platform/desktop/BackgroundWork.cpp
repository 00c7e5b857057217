#include "platform/desktop/BackgroundWork.h"

#include <QCoreApplication>

#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> programEnding{false};
std::atomic<int> continuationsDue{0};

// The program's own threads. A few of them do the work at any time; one busy
// for longer than StuckAfter (reading from a volume that does not answer, or
// decoding a very large picture) no longer counts among them, and another
// thread takes its place, so that work stuck on one volume never keeps the
// rest waiting. A thread idle for a while ends.
class Threads {
 public:
  static constexpr int Working = 4;
  static constexpr int MostThreads = 64;
  static constexpr auto StuckAfter = std::chrono::milliseconds(250);
  static constexpr auto IdleFor = std::chrono::seconds(20);

  void start(std::function<void()> task) {
    const std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
    wake_.notify_one();
    growIfStuck();
    watching_.notify_one();
  }

  bool waitUntilDone(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return done_.wait_until(lock, deadline, [this] { return queue_.empty() && busySince_.empty(); });
  }

 private:
  // With the lock held: another thread when more work waits than idle
  // threads will take, and fewer than Working threads are busy with work
  // that still moves or about to be.
  void growIfStuck() {
    if (queue_.size() <= static_cast<std::size_t>(idle_) || threads_ >= MostThreads) return;
    const Clock::time_point now = Clock::now();
    int moving = idle_;
    for (const Clock::time_point since : busySince_) moving += now - since < StuckAfter;
    if (moving >= Working) return;
    // Where the system gives no more threads, the work waits for one.
    try {
      std::thread([this] { serve(); }).detach();
      ++threads_;
      if (!watcher_) {
        std::thread([this] { watch(); }).detach();
        watcher_ = true;
      }
    } catch (const std::system_error&) {
    }
  }

  void serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      const bool gotWork = wake_.wait_for(lock, IdleFor, [this] { return !queue_.empty(); });
      --idle_;
      if (!gotWork) {
        --threads_;
        return;
      }
      std::function<void()> task = std::move(queue_.front());
      queue_.pop_front();
      const auto me = busySince_.insert(busySince_.end(), Clock::now());
      lock.unlock();
      task();
      task = nullptr;
      lock.lock();
      busySince_.erase(me);
      if (queue_.empty() && busySince_.empty()) done_.notify_all();
    }
  }

  // While work waits, looks now and then whether the busy threads got stuck.
  void watch() {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (queue_.empty())
        watching_.wait(lock);
      else
        watching_.wait_for(lock, StuckAfter / 4);
      growIfStuck();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_, watching_;
  std::deque<std::function<void()>> queue_;
  std::list<Clock::time_point> busySince_;
  int threads_ = 0;
  int idle_ = 0;
  bool watcher_ = false;
};

// Made once and never destroyed: threads stuck on a volume may outlive
// everything else.
Threads& threads() {
  static Threads* const pool = [] {
    // Before the application goes, every work is told to stop, and waited
    // for a moment.
    qAddPostRoutine([] { endBackgroundWork(std::chrono::seconds(2)); });
    return new Threads;
  }();
  return *pool;
}

}  // namespace

bool BackgroundWork::cancelled() const { return cancelled_ || programEnding; }

void BackgroundWork::cancel() {
  cancelled_ = true;
  noLongerAwaited();
}

void BackgroundWork::noLongerAwaited() {
  if (awaited_.exchange(false)) --continuationsDue;
}

void BackgroundWork::start(std::shared_ptr<BackgroundWork> work, std::function<void()> body,
                           std::function<void()> continuation) {
  if (continuation) {
    work->awaited_ = true;
    ++continuationsDue;
  }
  threads().start([work = std::move(work), body = std::move(body), continuation = std::move(continuation)]() mutable {
    body();
    work->finished_ = true;
    if (!continuation) return;
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) return;
    QMetaObject::invokeMethod(
        application,
        [work = std::move(work), continuation = std::move(continuation)] {
          // Due no more: a step that starts the next one counts that one.
          work->noLongerAwaited();
          continuation();
        },
        Qt::QueuedConnection);
  });
}

int pendingContinuations() { return continuationsDue; }

bool endBackgroundWork(std::chrono::milliseconds within) {
  programEnding = true;
  return threads().waitUntilDone(Clock::now() + within);
}

}  // namespace platform
