#include "platform/desktop/FileOperations.h"

#include "platform/desktop/RuntimeError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

QByteArray nativeOf(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  if (path.isEmpty() || native.contains('\0')) raise(errors::BadFileNameOrNumber);
  return native;
}

// A rename that refuses an existing target, also on file systems that have
// no such rename of their own.
int renameWithoutReplacing(const char* from, const char* to) {
#ifdef SYS_renameat2
  constexpr unsigned NoReplace = 1;  // RENAME_NOREPLACE
  if (::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, NoReplace) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  // A hard link fails when the target exists; then the old name goes.
  if (::link(from, to) == 0) return ::unlink(from) == 0 ? 0 : errno;
  if (errno != EPERM && errno != EOPNOTSUPP) return errno;
  // No hard links here either: check, then rename.
  struct stat existing {};
  if (::lstat(to, &existing) == 0) return EEXIST;
  return ::rename(from, to) == 0 ? 0 : errno;
}

bool userMayWrite(const struct stat& info) {
  if (info.st_uid == ::geteuid()) return info.st_mode & S_IWUSR;
  if (info.st_gid == ::getegid()) return info.st_mode & S_IWGRP;
  return info.st_mode & S_IWOTH;
}

}  // namespace

void Name(const QString& oldPath, const QString& newPath) {
  const QByteArray from = nativeOf(oldPath);
  const QByteArray to = nativeOf(newPath);
  if (const int err = renameWithoutReplacing(from.constData(), to.constData())) raiseFromErrno(err);
}

void Kill(const QString& path) {
  const QByteArray native = nativeOf(path);
  struct stat info {};
  if (::lstat(native.constData(), &info) != 0) raiseFromErrno(errno);
  if (S_ISDIR(info.st_mode)) raise(errors::FileNotFound);
  if (!S_ISLNK(info.st_mode) && !userMayWrite(info)) raise(errors::PermissionDenied);
  if (::unlink(native.constData()) != 0) raiseFromErrno(errno);
}

}  // namespace platform
