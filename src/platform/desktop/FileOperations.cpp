#include "platform/desktop/FileOperations.h"

#include "platform/desktop/FileNames.h"
#include "platform/desktop/Gio.h"
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
  const QByteArray native = platform::nativeFileName(path);
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

// Refuses what the user may not delete: nothing there, a folder, or a file
// the user may not write, as the kernel judges the process's effective ids,
// groups and rights. A link's own permission bits mean nothing.
void refuseUndeletable(const QByteArray& native) {
  struct stat info {};
  if (::lstat(native.constData(), &info) != 0) raiseFromErrno(errno);
  if (S_ISDIR(info.st_mode)) raise(errors::FileNotFound);
  if (!S_ISLNK(info.st_mode) && ::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) != 0)
    raiseFromErrno(errno);
}

int errorNumberOfGio(const GError& error) {
  if (error.domain != G_IO_ERROR) return errors::PathFileAccessError;
  switch (error.code) {
    case G_IO_ERROR_NOT_FOUND: return errors::FileNotFound;
    case G_IO_ERROR_PERMISSION_DENIED: return errors::PermissionDenied;
    default: return errors::PathFileAccessError;
  }
}

}  // namespace

void Name(const QString& oldPath, const QString& newPath) {
  const QByteArray from = nativeOf(oldPath);
  const QByteArray to = nativeOf(newPath);
  if (const int err = renameWithoutReplacing(from.constData(), to.constData())) raiseFromErrno(err);
}

bool MoveToTrash(const QString& path) {
  const QByteArray native = nativeOf(path);
  refuseUndeletable(native);
  const gio::Object<GFile> file(g_file_new_for_path(native.constData()));
  GError* failure = nullptr;
  if (g_file_trash(file.get(), nullptr, &failure)) return true;
  const gio::Error error(failure);
  if (g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED)) return false;
  raise(error ? errorNumberOfGio(*error) : errors::PathFileAccessError);
}

void Kill(const QString& path) {
  const QByteArray native = nativeOf(path);
  refuseUndeletable(native);
  if (::unlink(native.constData()) != 0) raiseFromErrno(errno);
}

}  // namespace platform
