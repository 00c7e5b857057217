#include "platform/desktop/MountTable.h"

#include "platform/desktop/FileNames.h"

#include <QFile>
#include <QList>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <set>

namespace platform {

namespace {

// The kernel writes a space, tab, newline or backslash in a path as a
// backslash and three octal digits (\040 \011 \012 \134).
QByteArray unescaped(const QByteArray& field) {
  QByteArray text;
  text.reserve(field.size());
  const auto digit = [&](qsizetype at, char highest) {
    return at < field.size() && field[at] >= '0' && field[at] <= highest;
  };
  for (qsizetype i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && digit(i + 1, '3') && digit(i + 2, '7') && digit(i + 3, '7')) {
      text.append(char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
      i += 3;
    } else {
      text.append(field[i]);
    }
  }
  return text;
}

// File systems that hold no user files, and the system's own trees.
// "rootfs" is the first root, which some boot images leave listed beside the
// real one.
bool leftOut(const QString& mountPath, const QByteArray& type) {
  static const std::set<QByteArray> pseudoTypes = {
      "proc",     "sysfs",      "devtmpfs", "devpts",   "cgroup",    "cgroup2",     "securityfs",
      "pstore",   "debugfs",    "tracefs",  "configfs", "fusectl",   "mqueue",      "hugetlbfs",
      "bpf",      "autofs",     "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",     "ramfs",
      "squashfs", "fuse.portal", "fuse.gvfsd-fuse", "selinuxfs", "overlay-ro", "rootfs"};
  if (pseudoTypes.count(type)) return true;
  for (const char* systemTree :
       {"/proc", "/sys", "/dev", "/run", "/var/run", "/var/lock", "/snap", "/boot/efi", "/var/lib"}) {
    const QString tree = QString::fromLatin1(systemTree);
    if (mountPath == tree || mountPath.startsWith(tree + QLatin1Char('/'))) {
      // Removable media mounted by the desktop live under /run/media.
      return !mountPath.startsWith(QStringLiteral("/run/media/"));
    }
  }
  return false;
}

}  // namespace

QStringList browsableMounts(const QByteArray& mountinfo,
                            const std::function<bool(const QString& mountPath)>& knownNotFolder) {
  std::set<QString> paths;
  for (const QByteArray& line : mountinfo.split('\n')) {
    // "id parent major:minor root mount-point options [optional fields...]
    // - type source super-options"
    const QList<QByteArray> fields = line.split(' ');
    qsizetype separator = 6;
    while (separator < fields.size() && fields[separator] != "-") ++separator;
    if (separator + 1 >= fields.size() || fields[separator + 1].isEmpty()) continue;
    const QString path = platform::fileNameText(unescaped(fields[4]));
    if (!path.startsWith(QLatin1Char('/')) || paths.count(path)) continue;
    if (leftOut(path, unescaped(fields[separator + 1])) || knownNotFolder(path)) continue;
    paths.insert(path);
  }
  QStringList result;
  if (paths.erase(QStringLiteral("/")) || paths.empty()) result.append(QStringLiteral("/"));
  for (const QString& path : paths) result.append(path);
  return result;
}

bool knownNotFolder(const QString& path) {
  // Only the type is asked for, and a file's type never changes while it
  // exists, so the attributes the kernel holds already are as good as fresh
  // ones. AT_STATX_DONT_SYNC lets FUSE and network file systems answer from
  // them instead of asking their server first, the request that never
  // returns when the server hangs (NFS answers the type from its cache in any
  // case). AT_NO_AUTOMOUNT leaves an automount point unmounted.
  struct statx attributes = {};
  if (::statx(AT_FDCWD, platform::nativeFileName(path).constData(), AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT,
              STATX_TYPE, &attributes) != 0) {
    // Gone, or a mount point deleted from under its mount.
    return errno == ENOENT || errno == ENOTDIR;
  }
  return (attributes.stx_mask & STATX_TYPE) && !S_ISDIR(attributes.stx_mode);
}

}  // namespace platform
