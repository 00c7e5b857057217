#include "platform/pictures/MetafileHelper.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/pictures/HelperProcess.h"
#include "platform/pictures/MetafileProtocol.h"

#include <QDeadlineTimer>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <utility>

namespace platform {

namespace protocol = metafile_protocol;

namespace {

constexpr char HelperName[] = "tavlo-metafile-helper";
// How often a wait looks whether its work was cancelled.
constexpr int CheckMilliseconds = 20;

// A helper started, not yet given a metafile.
struct Started {
  pid_t process = -1;
  int channel = -1;
  QString program;
  bool spare = false;
};

std::mutex spareMutex;
Started spare;

// Ended, unless it has ended already (and been reaped).
void end(const Started& helper, bool ended = false) {
  ::close(helper.channel);
  if (ended) return;
  ::kill(helper.process, SIGKILL);
  reapHelper(helper.process);
}

Started started(const QString& program) {
  Started helper{-1, -1, program};
  helper.process = startHelper(program, SOCK_STREAM, helper.channel);
  if (helper.process <= 0) return {};
  if (limitHelper(helper.process)) return helper;
  end(helper);
  return {};
}

// The spare, where it runs the program and still lives; else a helper
// started now. Either way a new spare is started.
Started takeHelper(const QString& program) {
  const std::lock_guard lock(spareMutex);
  Started taken = std::exchange(spare, {});
  if (taken.process > 0) {
    // Ended meanwhile (and now reaped), or of another program.
    const bool ended = ::waitpid(taken.process, nullptr, WNOHANG) != 0;
    if (ended || taken.program != program) {
      end(taken, ended);
      taken = {};
    }
  }
  spare = started(program);
  if (taken.process <= 0) return started(program);
  taken.spare = true;
  return taken;
}

}  // namespace

void MetafileHelper::startSpare(const QString& program) {
  const std::lock_guard lock(spareMutex);
  if (spare.process <= 0) spare = started(program);
}

QString metafileHelperProgram() { return helperProgram(HelperName); }

MetafileHelper::MetafileHelper(pid_t process, int channel, HelperLimits limits)
    : process_(process), channel_(channel), limits_(limits) {}

MetafileHelper::~MetafileHelper() {
  if (process_ <= 0) return;
  // Its work is done: the helper is ended, and waited for off this thread.
  ::close(channel_);
  ::kill(process_, SIGKILL);
  startInBackground([process = process_.load()](const BackgroundWork&) { reapHelper(process); });
}

std::unique_ptr<MetafileHelper> MetafileHelper::start(const QByteArray& metafile, const QString& program,
                                                      HelperLimits limits, const BackgroundWork* work) {
  if (static_cast<std::uint64_t>(metafile.size()) > protocol::MetafileLimit) return nullptr;
  const Started taken = takeHelper(program);
  auto helper = handOver(metafile, taken.process, taken.channel, limits, work);
  // A spare that ended while it waited (killed, say) is replaced, once.
  if (!helper && taken.spare && !(work && work->cancelled())) {
    const Started fresh = started(program);
    helper = handOver(metafile, fresh.process, fresh.channel, limits, work);
  }
  return helper;
}

std::unique_ptr<MetafileHelper> MetafileHelper::handOver(const QByteArray& metafile, pid_t process, int channel,
                                                         HelperLimits limits, const BackgroundWork* work) {
  if (process <= 0) return nullptr;
  std::unique_ptr<MetafileHelper> helper(new MetafileHelper(process, channel, limits));
  const QDeadlineTimer deadline(limits.startMilliseconds);
  const std::uint64_t length = static_cast<std::uint64_t>(metafile.size());
  protocol::Status status = protocol::Failed;
  double extent[2] = {0, 0};
  if (!helper->sendAll(reinterpret_cast<const char*>(&length), sizeof length, deadline, work) ||
      !helper->sendAll(metafile.constData(), metafile.size(), deadline, work) ||
      !helper->readExactly(reinterpret_cast<char*>(&status), 1, deadline, work) || status != protocol::Ready ||
      !helper->readExactly(reinterpret_cast<char*>(extent), sizeof extent, deadline, work))
    return nullptr;
  if (!(extent[0] > 0) || !(extent[1] > 0) || !std::isfinite(extent[0]) || !std::isfinite(extent[1])) return nullptr;
  helper->extent_ = QSizeF(extent[0], extent[1]);
  return helper;
}

// A drawing asked for is waited for to its end, within its time, even when
// the work it was asked for is cancelled meanwhile: ending the helper then
// would take the picture away from everyone else who shows it.
QImage MetafileHelper::render(QSize size, const QRect& part, const BackgroundWork* work) {
  const protocol::RenderRequest request{size.width(), size.height(), part.x(), part.y(), part.width(), part.height()};
  if (!protocol::isValid(request) || process_ <= 0 || (work && work->cancelled())) return {};
  QImage image(part.size(), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return {};
  const QDeadlineTimer deadline(limits_.renderMilliseconds);
  protocol::Status status = protocol::Failed;
  if (!sendAll(reinterpret_cast<const char*>(&request), sizeof request, deadline, nullptr) ||
      !readExactly(reinterpret_cast<char*>(&status), 1, deadline, nullptr) || status != protocol::Ready)
    return {};
  // 32-bit rows are packed: the image's bytes are the pixels in order.
  if (!readExactly(reinterpret_cast<char*>(image.bits()), image.sizeInBytes(), deadline, nullptr)) return {};
  return image;
}

bool MetafileHelper::waitUntilReady(short events, const QDeadlineTimer& deadline, const BackgroundWork* work) {
  for (;;) {
    if (work && work->cancelled()) return false;
    pollfd watched{channel_, events, 0};
    const auto left = std::clamp<qint64>(deadline.remainingTime(), 0, CheckMilliseconds);
    const int ready = ::poll(&watched, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
    if (ready == 0 && deadline.hasExpired()) return false;
  }
}

bool MetafileHelper::sendAll(const char* data, qint64 count, const QDeadlineTimer& deadline,
                             const BackgroundWork* work) {
  while (count > 0 && process_ > 0) {
    if (!waitUntilReady(POLLOUT, deadline, work)) break;
    const ssize_t sent = ::send(channel_, data, static_cast<size_t>(count), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (sent <= 0) break;
    data += sent;
    count -= sent;
  }
  if (count == 0) return true;
  fail();
  return false;
}

bool MetafileHelper::readExactly(char* into, qint64 count, const QDeadlineTimer& deadline, const BackgroundWork* work) {
  while (count > 0 && process_ > 0) {
    if (!waitUntilReady(POLLIN, deadline, work)) break;
    const ssize_t got = ::recv(channel_, into, static_cast<size_t>(count), MSG_DONTWAIT);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) break;
    into += got;
    count -= got;
  }
  if (count == 0) return true;
  fail();
  return false;
}

void MetafileHelper::fail() {
  if (process_ <= 0) return;
  ::close(channel_);
  ::kill(process_, SIGKILL);
  reapHelper(process_);
  process_ = -1;
  channel_ = -1;
}

}  // namespace platform
