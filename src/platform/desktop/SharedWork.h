#pragma once

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/RuntimeError.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

// Work that several may ask for at once, done once at a time for each key:
// the first to ask does it on its own thread, the others wait for its
// result. It goes on as long as anyone who asked still wants it, and is
// given up only once all of them are cancelled. A result of nothing (a null
// pointer) is a failure for everyone who waited.
template <class Key, class Result>
class SharedWork {
 public:
  std::shared_ptr<Result> get(const Key& key, const BackgroundWork* work,
                              const std::function<std::shared_ptr<Result>(const BackgroundWork&)>& make) {
    std::unique_lock lock(mutex_);
    if (const auto found = running_.find(key); found != running_.end()) {
      const std::shared_ptr<Task> task = found->second;
      task->ask(work);
      while (!task->done) {
        if (work && work->cancelled()) {
          task->giveUp(work);
          raise(errors::InvalidPicture);
        }
        finished_.wait_for(lock, std::chrono::milliseconds(20));
      }
      task->giveUp(work);
      return task->result;
    }
    const auto task = std::make_shared<Task>(mutex_);
    task->ask(work);
    running_[key] = task;
    lock.unlock();
    std::shared_ptr<Result> result;
    try {
      result = make(*task);
    } catch (...) {
    }
    lock.lock();
    task->result = result;
    task->done = true;
    task->giveUp(work);
    running_.erase(key);
    finished_.notify_all();
    return result;
  }

 private:
  // Cancelled once every work that asked for it is.
  class Task final : public BackgroundWork {
   public:
    explicit Task(std::mutex& mutex) : mutex_(mutex) {}
    // With the lock held.
    void ask(const BackgroundWork* work) { askers_.push_back(work); }
    void giveUp(const BackgroundWork* work) { askers_.erase(std::find(askers_.begin(), askers_.end(), work)); }
    bool cancelled() const override {
      if (BackgroundWork::cancelled()) return true;
      const std::lock_guard lock(mutex_);
      return !askers_.empty() && std::all_of(askers_.begin(), askers_.end(), [](const BackgroundWork* asker) {
               return asker && asker->cancelled();
             });
    }

    bool done = false;
    std::shared_ptr<Result> result;

   private:
    std::mutex& mutex_;
    std::vector<const BackgroundWork*> askers_;
  };

  std::mutex mutex_;
  std::condition_variable finished_;
  std::map<Key, std::shared_ptr<Task>> running_;
};

}  // namespace platform
