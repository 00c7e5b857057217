#include "platform/desktop/BackgroundWork.h"

#include <QCoreApplication>
#include <QThreadPool>

namespace platform {

namespace {

std::atomic<bool> programEnding{false};

// A few threads of the program's own: a newer request need not wait for an
// older one that is still stopping.
QThreadPool& threads() {
  static QThreadPool* pool = [] {
    auto* created = new QThreadPool;
    created->setMaxThreadCount(4);
    // Before the application goes, every work stops and its thread ends.
    qAddPostRoutine([] {
      programEnding = true;
      threads().waitForDone();
    });
    return created;
  }();
  return *pool;
}

}  // namespace

bool BackgroundWork::cancelled() const { return cancelled_ || programEnding; }

void BackgroundWork::start(std::shared_ptr<BackgroundWork> work, std::function<void()> body) {
  threads().start([work = std::move(work), body = std::move(body)] {
    body();
    work->markFinished();
  });
}

void BackgroundWork::markFinished() {
  finished_ = true;
  // Any posted event wakes a window thread that waits for events.
  if (QCoreApplication* application = QCoreApplication::instance())
    QMetaObject::invokeMethod(application, [] {}, Qt::QueuedConnection);
}

}  // namespace platform
