#include "platform/pictures/HelperProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {

namespace {

constexpr rlim_t CpuSeconds = 600;
constexpr rlim_t AddressSpaceBytes = 2ULL * 1024 * 1024 * 1024;

// Built with AddressSanitizer (make test-sanitized), a helper reserves
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

// The environment a helper gets: none, but for a sanitized build's options.
std::vector<QByteArray> helperEnvironment() {
  std::vector<QByteArray> kept;
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (qEnvironmentVariableIsSet(name)) kept.push_back(QByteArray(name) + '=' + qgetenv(name));
  return kept;
}

}  // namespace

QString helperProgram(const char* name) {
  const QDir programFolder(QCoreApplication::applicationDirPath());
  const QString beside = programFolder.filePath(QLatin1String(name));
  if (QFileInfo(beside).isExecutable()) return beside;
  return QDir::cleanPath(programFolder.filePath(QStringLiteral(TAVLO_HELPER_FOLDER "/") + QLatin1String(name)));
}

pid_t startHelper(const QString& program, int socketType, int& channel) {
  int ends[2];
  if (::socketpair(AF_UNIX, socketType | SOCK_CLOEXEC, 0, ends) != 0) return -1;
  const QByteArray path = QFile::encodeName(program);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // Nothing else of this process reaches the helper: a descriptor another
  // thread opened meanwhile without close-on-exec (a pipe the D-Bus library
  // reads to its end, say) would otherwise stay open as long as the helper.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
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
  std::vector<QByteArray> kept = helperEnvironment();
  std::vector<char*> environment;
  for (QByteArray& variable : kept) environment.push_back(variable.data());
  environment.push_back(nullptr);
  pid_t process = -1;
  const int failed = ::posix_spawn(&process, path.constData(), &actions, &attributes, arguments, environment.data());
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

bool limitHelper(pid_t process, HelperWrites writes) {
  const auto set = [process](int resource, rlim_t value) {
    const rlimit bounds{value, value};
    return ::prlimit(process, static_cast<__rlimit_resource>(resource), &bounds, nullptr) == 0;
  };
  const bool limited = set(RLIMIT_CPU, CpuSeconds) && set(RLIMIT_CORE, 0);
  if (SanitizedBuild) return limited;
  return limited && set(RLIMIT_AS, AddressSpaceBytes) && (writes == HelperWrites::MemoryFiles || set(RLIMIT_FSIZE, 0));
}

void reapHelper(pid_t process) {
  while (::waitpid(process, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace platform
