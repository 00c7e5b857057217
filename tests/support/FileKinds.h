#pragma once

// Files that are not regular files, a disk that is full, and a way to meet
// permission bits even when the tests run as root.

#include <QFile>
#include <QString>

#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

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

// While alive, a tiny tmpfs on the folder, in a mount namespace of this
// thread's own so that nothing outlives the test. Mounting needs root's
// rights; without them nothing is mounted.
class FullDisk {
 public:
  explicit FullDisk(const QString& folder) : at_(QFile::encodeName(folder)) {
    mounted_ = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               ::mount("tavlo-test", at_.constData(), "tmpfs", 0, "size=16k") == 0;
  }
  ~FullDisk() {
    if (mounted_) ::umount2(at_.constData(), MNT_DETACH);
  }
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

  bool mounted() const { return mounted_; }
  // Takes up every byte that is left, in a file "filler".
  void fill() const {
    const int fd = ::open((at_ + "/filler").constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const char block[4096] = {};
    while (fd >= 0 && ::write(fd, block, sizeof block) > 0) {
    }
    if (fd >= 0) ::close(fd);
  }

 private:
  QByteArray at_;
  bool mounted_ = false;
};

// While alive, file permission bits apply to this thread as to an ordinary
// user: root's right to override them is dropped from the effective set and
// given back at the end.
class PermissionBitsApply {
 public:
  PermissionBitsApply() {
    if (::geteuid() != 0) {
      active_ = true;
      return;
    }
    if (::syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    dropped_ = active_;
  }
  ~PermissionBitsApply() {
    if (dropped_) ::syscall(SYS_capset, &header_, saved_);
  }
  PermissionBitsApply(const PermissionBitsApply&) = delete;
  PermissionBitsApply& operator=(const PermissionBitsApply&) = delete;

  // False when the bits cannot be made to apply; the caller then skips.
  bool active() const { return active_; }

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
  bool active_ = false;
  bool dropped_ = false;
};
