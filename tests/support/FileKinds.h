#pragma once

// Files that are not regular files, a disk soon full, and a way to meet
// permission bits even when the tests run as root; table rows skipped.

#include <QFile>
#include <QString>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

// The rows of a table that a test cannot run here, noted; the test then ends
// as skipped, naming them, once its other rows have run.
struct SkippedRows {
  std::string rows;
  bool note(bool cannot, const std::string& row) { return cannot && (rows += " " + row + ";", true); }
};

// A FIFO with neither reader nor writer.
inline bool makeFifo(const QString& path) { return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0; }

// A Unix socket bound at the path; it stays bound until the process ends.
inline bool makeSocket(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (native.size() >= static_cast<qsizetype>(sizeof address.sun_path)) return false;
  std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  return fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// While alive, a tiny tmpfs on the folder (16 KB, soon full), where every
// thread of the process sees it (the tests run in a mount namespace of their
// own, so nothing outlives them). Mounting needs root's rights; without them
// nothing is mounted.
class FullDisk {
 public:
  explicit FullDisk(const QString& folder) : at_(QFile::encodeName(folder)) {
    mounted_ = ::mount("tavlo-test", at_.constData(), "tmpfs", 0, "size=16k") == 0;
  }
  ~FullDisk() {
    if (mounted_) ::umount2(at_.constData(), MNT_DETACH);
  }
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

  bool mounted() const { return mounted_; }
  // Takes the room left, writing only into the tmpfs, and only once mounted.
  void fill() const {
    const int fd = mounted_ ? ::open((at_ + "/.filler").constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600) : -1;
    if (fd < 0) return;
    const char block[512] = {};
    for (int i = 0; i < 1024 && ::write(fd, block, sizeof block) > 0; ++i) {
    }
    ::close(fd);
  }

 private:
  QByteArray at_;
  bool mounted_ = false;
};

// While alive, file permission bits apply to the process as to an ordinary
// user: root's right to override them is dropped from the effective set of
// every thread (the program reads and writes files on threads of its own),
// and given back at the end. Capabilities belong to each thread, so each is
// told by a signal to change its own; threads started meanwhile take them
// from the thread that starts them.
class PermissionBitsApply {
 public:
  PermissionBitsApply() {
    if (::geteuid() != 0) {
      active_ = true;
      return;
    }
    if (::syscall(SYS_capget, &header(), saved_) != 0) return;
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    active_ = dropped_ = everyThreadTakes(reduced);
  }
  ~PermissionBitsApply() {
    if (dropped_) everyThreadTakes(saved_);
  }
  PermissionBitsApply(const PermissionBitsApply&) = delete;
  PermissionBitsApply& operator=(const PermissionBitsApply&) = delete;

  // False when the bits cannot be made to apply; the caller then skips.
  bool active() const { return active_; }

 private:
  static __user_cap_header_struct& header() {
    static __user_cap_header_struct h{_LINUX_CAPABILITY_VERSION_3, 0};
    return h;
  }
  static inline const __user_cap_data_struct* wanted_ = nullptr;
  static inline std::atomic<int> failed_{0}, done_{0};

  static bool everyThreadTakes(const __user_cap_data_struct* capabilities) {
    wanted_ = capabilities;
    failed_ = done_ = 0;
    struct sigaction action {}, previous{};
    action.sa_handler = [](int) {
      __user_cap_header_struct own{_LINUX_CAPABILITY_VERSION_3, 0};
      if (::syscall(SYS_capset, &own, wanted_) != 0) ++failed_;
      ++done_;
    };
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGRTMIN + 3, &action, &previous);
    int sent = 0;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
      while (const dirent* task = ::readdir(tasks))
        if (task->d_name[0] != '.') sent += ::syscall(SYS_tgkill, ::getpid(), std::atoi(task->d_name), SIGRTMIN + 3) == 0;
      ::closedir(tasks);
    }
    for (int wait = 0; done_ < sent && wait < 5000; ++wait) ::usleep(1000);
    ::sigaction(SIGRTMIN + 3, &previous, nullptr);
    return sent > 0 && done_ == sent && failed_ == 0;
  }

  __user_cap_data_struct saved_[2]{};
  bool active_ = false;
  bool dropped_ = false;
};
