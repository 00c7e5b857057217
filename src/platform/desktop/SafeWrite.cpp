#include "platform/desktop/SafeWrite.h"

#include "platform/desktop/FileAccess.h"
#include "platform/desktop/RuntimeError.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Whether the user may write an existing file, judged as the kernel judges
// the process's own rights (root's override included, when it has one).
void refuseUnwritableTarget(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  if (native.isEmpty() || native.contains('\0')) raise(errors::BadFileNameOrNumber);
  struct stat info {};
  if (::stat(native.constData(), &info) != 0) return;  // nothing there to protect
  if (!S_ISREG(info.st_mode)) raise(errors::PathFileAccessError);
  if (::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) != 0) raiseFromErrno(errno);
}

}  // namespace

void writeFileWhole(const QString& path, const std::function<void(QIODevice& out)>& write) {
  refuseUnwritableTarget(path);
  QSaveFile out(path);
  errno = 0;
  if (!out.open(QIODevice::WriteOnly)) raiseFromErrno(errno);
  // Leaving early discards the temporary file with the QSaveFile.
  write(out);
  errno = 0;
  if (out.error() != QFileDevice::NoError || !out.commit()) {
    const int err = errno;
    out.cancelWriting();
    raiseFromErrno(err);
  }
}

void FileCopy(const QString& source, const QString& destination) {
  const QByteArray bytes = ReadableFile(source).readAll();
  writeFileWhole(destination, [&](QIODevice& out) {
    if (out.write(bytes) != bytes.size()) raiseFromErrno(errno);
  });
}

}  // namespace platform
