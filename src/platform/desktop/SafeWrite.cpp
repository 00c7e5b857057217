#include "platform/desktop/SafeWrite.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/FileNames.h"
#include "platform/desktop/RuntimeError.h"

#include <QFile>
#include <QIODevice>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

[[noreturn]] void refuseNotAFile() {
  throw RuntimeError(errors::PathFileAccessError, errorDescription(errors::PathFileAccessError),
                     QStringLiteral("That name belongs to something that is not a file."));
}

struct Target {
  QByteArray path;  // the file to replace: a symbolic link's target, not the link
  QByteArray folder;
  bool exists = false;
  mode_t permissions = 0;
};

// The file a write replaces. A symbolic link stays as it is and its target
// is replaced, if that is a regular file; a link to anything else, or to
// nothing, is not written through. An existing file the user may not write
// (as the kernel judges the process's own rights, root's override included)
// is refused.
Target targetOf(const QString& path) {
  Target target;
  target.path = platform::nativeFileName(path);
  if (path.isEmpty() || target.path.contains('\0')) raise(errors::BadFileNameOrNumber);
  struct stat info {};
  if (::lstat(target.path.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
    char* resolved = ::realpath(target.path.constData(), nullptr);
    if (!resolved) refuseNotAFile();
    target.path = resolved;
    std::free(resolved);
  }
  if (::stat(target.path.constData(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) raiseFromErrno(EISDIR);
    if (!S_ISREG(info.st_mode)) refuseNotAFile();
    if (::faccessat(AT_FDCWD, target.path.constData(), W_OK, AT_EACCESS) != 0) raiseFromErrno(errno);
    target.exists = true;
    target.permissions = info.st_mode & 07777;
  } else if (errno != ENOENT) {
    raiseFromErrno(errno);
  }
  const qsizetype slash = target.path.lastIndexOf('/');
  target.folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.path.left(slash);
  return target;
}

mode_t permissionsForNewFiles() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// The new contents, in a temporary file beside the target. Every write is
// checked to its last byte; the first failure is kept, and no later write is
// tried. Unless committed, the file is removed again.
class TemporaryFile final : public QIODevice {
 public:
  explicit TemporaryFile(const Target& target) : name_(target.folder + "/.tavlo-XXXXXX") {
    fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
    if (fd_ < 0) raiseFromErrno(errno);
    const mode_t permissions = target.exists ? target.permissions : permissionsForNewFiles();
    if (::fchmod(fd_, permissions) != 0) failure_ = errno;
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  }
  ~TemporaryFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(name_.constData());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int failure() const { return failure_; }
  bool isSequential() const override { return true; }

  // Data on the disk first, then the rename over the target; the folder's
  // entry is synced last, and a failure there no longer undoes the write.
  void commitAs(const Target& target) {
    if (failure_ == 0 && ::fsync(fd_) != 0) failure_ = errno;
    const int closed = ::close(fd_);
    fd_ = -1;
    if (failure_ == 0 && closed != 0) failure_ = errno;
    if (failure_ == 0 && ::rename(name_.constData(), target.path.constData()) != 0) failure_ = errno;
    if (failure_ != 0) raiseFromErrno(failure_);
    committed_ = true;
    const int folder = ::open(target.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      ::fsync(folder);
      ::close(folder);
    }
  }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 length) override {
    qint64 written = 0;
    while (failure_ == 0 && written < length) {
      const ssize_t done = ::write(fd_, data + written, static_cast<size_t>(length - written));
      if (done < 0 && errno == EINTR) continue;
      if (done < 0) failure_ = errno;
      if (done == 0) failure_ = ENOSPC;
      if (done > 0) written += done;
    }
    return failure_ == 0 ? written : -1;
  }

 private:
  QByteArray name_;
  int fd_ = -1;
  int failure_ = 0;
  bool committed_ = false;
};

}  // namespace

void writeFileWhole(const QString& path, const std::function<void(QIODevice& out)>& write) {
  const Target target = targetOf(path);
  TemporaryFile out(target);
  // A failed write is told by its own errno, whatever the writer made of it.
  if (auto error = runCatchingErrors([&] { write(out); })) {
    if (out.failure() != 0) raiseFromErrno(out.failure());
    throw *error;
  }
  out.commitAs(target);
}

void FileCopy(const QString& source, const QString& destination) {
  const QByteArray bytes = ReadableFile(source).readAll();
  writeFileWhole(destination, [&](QIODevice& out) { out.write(bytes); });
}

}  // namespace platform
