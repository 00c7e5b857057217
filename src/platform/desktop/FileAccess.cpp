#include "platform/desktop/FileAccess.h"

#include "platform/desktop/FileNames.h"
#include "platform/desktop/RuntimeError.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QByteArray nativePathOf(const QString& path) {
  if (path.isEmpty()) raise(errors::BadFileNameOrNumber);
  const QByteArray native = platform::nativeFileName(path);
  if (native.contains('\0')) raise(errors::BadFileNameOrNumber);
  return native;
}

}  // namespace

ReadableFile::ReadableFile(const QString& path) : path_(path) {
  const QByteArray native = nativePathOf(path);
  // Non-blocking, so that a FIFO without a writer returns at once.
  fd_ = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) {
    const int err = errno;
    // A socket refuses the open with "no such device"; it is simply no file.
    struct stat info {};
    if (err == ENXIO && ::stat(native.constData(), &info) == 0 && S_ISSOCK(info.st_mode))
      raise(errors::PathFileAccessError);
    raiseFromErrno(err);
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int err = errno;
    ::close(fd_);
    fd_ = -1;
    if (S_ISREG(info.st_mode)) raiseFromErrno(err);
    raise(errors::PathFileAccessError);
  }
  state_.device = info.st_dev;
  state_.inode = info.st_ino;
  state_.size = info.st_size;
  state_.modifiedNanoseconds = std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
}

ReadableFile::ReadableFile(int descriptor, const FileState& state) : fd_(descriptor), state_(state) {}

ReadableFile::~ReadableFile() {
  if (fd_ >= 0) ::close(fd_);
}

QByteArray ReadableFile::readAt(std::int64_t offset, std::int64_t maximum) const {
  const std::int64_t wanted = std::clamp<std::int64_t>(state_.size - offset, 0, maximum);
  if (wanted > std::numeric_limits<int>::max() - 1) raise(errors::OutOfMemory);
  QByteArray bytes;
  bytes.resize(static_cast<qsizetype>(wanted));
  bytes.truncate(static_cast<qsizetype>(readAt(offset, bytes.data(), wanted)));
  return bytes;
}

std::int64_t ReadableFile::readAt(std::int64_t offset, char* into, std::int64_t maximum) const {
  std::int64_t filled = 0;
  while (filled < maximum) {
    const ssize_t got = ::pread(fd_, into + filled, static_cast<size_t>(maximum - filled), offset + filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) raiseFromErrno(errno);
    if (got == 0) break;
    filled += got;
  }
  return filled;
}

std::int64_t FileLen(const QString& path) {
  const QByteArray native = nativePathOf(path);
  struct stat info {};
  if (::stat(native.constData(), &info) != 0) raiseFromErrno(errno);
  return info.st_size;
}

}  // namespace platform
