#pragma once

// Files that are not regular files, and a way to meet permission bits even
// when the tests run as root.

#include <QFile>
#include <QString>

#include <cstring>
#include <linux/capability.h>
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
