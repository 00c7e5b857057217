#include "platform/pictures/MetafileHelper.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/pictures/MetafileProtocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

extern char** environ;

namespace platform {

namespace protocol = metafile_protocol;

namespace {

constexpr char HelperName[] = "tavlo-metafile-helper";
constexpr rlim_t CpuSeconds = 600;
constexpr rlim_t AddressSpaceBytes = 2ULL * 1024 * 1024 * 1024;
// How often a wait looks whether its work was cancelled.
constexpr int CheckMilliseconds = 20;

// Built with AddressSanitizer (make test-sanitized), the helper reserves
// terabytes of address space for the sanitizer's shadow memory at start, and
// writes any report to a file of its own: such a build goes without the
// address-space and file-size limits, which would refuse both.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool SanitizedBuild = true;
#elif defined(__has_feature)
constexpr bool SanitizedBuild = __has_feature(address_sanitizer);
#else
constexpr bool SanitizedBuild = false;
#endif

// The helper is limited before it is sent anything to work on.
bool limit(pid_t process) {
  const auto set = [process](int resource, rlim_t value) {
    const rlimit bounds{value, value};
    return ::prlimit(process, static_cast<__rlimit_resource>(resource), &bounds, nullptr) == 0;
  };
  const bool limited = set(RLIMIT_CPU, CpuSeconds) && set(RLIMIT_CORE, 0);
  if (SanitizedBuild) return limited;
  return limited && set(RLIMIT_AS, AddressSpaceBytes) && set(RLIMIT_FSIZE, 0);
}

// Starts the program with one end of a socket pair as its standard input and
// output and nothing as its error output; gives the other end.
pid_t spawn(const QString& program, int& channel) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return -1;
  const QByteArray path = QFile::encodeName(program);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char* arguments[] = {const_cast<char*>(path.constData()), nullptr};
  pid_t process = -1;
  const int failed = ::posix_spawn(&process, path.constData(), &actions, &attributes, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(ends[1]);
  if (failed != 0) {
    ::close(ends[0]);
    return -1;
  }
  channel = ends[0];
  return process;
}

void reap(pid_t process) {
  while (::waitpid(process, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

QString metafileHelperProgram() {
  const QDir programFolder(QCoreApplication::applicationDirPath());
  const QString beside = programFolder.filePath(QLatin1String(HelperName));
  if (QFileInfo(beside).isExecutable()) return beside;
  return QDir::cleanPath(programFolder.filePath(QStringLiteral(TAVLO_HELPER_FOLDER "/") + QLatin1String(HelperName)));
}

MetafileHelper::MetafileHelper(pid_t process, int channel, HelperLimits limits)
    : process_(process), channel_(channel), limits_(limits) {}

MetafileHelper::~MetafileHelper() {
  if (process_ <= 0) return;
  // Its work is done: the helper is ended, and waited for off this thread.
  ::close(channel_);
  ::kill(process_, SIGKILL);
  startInBackground([process = process_.load()](const BackgroundWork&) { reap(process); });
}

std::unique_ptr<MetafileHelper> MetafileHelper::start(const QByteArray& metafile, const QString& program,
                                                      HelperLimits limits, const BackgroundWork* work) {
  if (static_cast<std::uint64_t>(metafile.size()) > protocol::MetafileLimit) return nullptr;
  int channel = -1;
  const pid_t process = spawn(program, channel);
  if (process <= 0) return nullptr;
  std::unique_ptr<MetafileHelper> helper(new MetafileHelper(process, channel, limits));
  if (!limit(process)) {
    helper->fail();
    return nullptr;
  }

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

bool MetafileHelper::readExactly(char* into, qint64 count, const QDeadlineTimer& deadline,
                                 const BackgroundWork* work) {
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
  reap(process_);
  process_ = -1;
  channel_ = -1;
}

}  // namespace platform
