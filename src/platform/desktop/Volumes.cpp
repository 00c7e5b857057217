#include "platform/desktop/Volumes.h"

#include "platform/desktop/FolderEntries.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/Seams.h"

#include <QDir>

#include <map>

namespace platform::Volumes {

namespace {

std::map<QString, QString>& lastFolders() {
  static std::map<QString, QString> folders;
  return folders;
}

bool contains(const QString& mountPath, const QString& path) {
  if (mountPath == QLatin1String("/")) return path.startsWith(QLatin1Char('/'));
  return path == mountPath || path.startsWith(mountPath + QLatin1Char('/'));
}

}  // namespace

QStringList mountPaths() { return seams().volumes->mountPaths(); }

QString volumeOf(const QString& path) {
  QString best;
  for (const QString& mountPath : mountPaths())
    if (contains(mountPath, path) && mountPath.size() > best.size()) best = mountPath;
  return best;
}

void checkReady(const QString& mountPath) {
  if (const int err = seams().volumes->probe(mountPath)) {
    const int number = errorNumberFromErrno(err);
    // Only an unavailable device counts as not ready; a volume that is gone
    // or forbidden is some other failure.
    raise(number == errors::FileNotFound ? errors::PathNotFound : number);
  }
}

QString currentFolder(const QString& mountPath) {
  const auto found = lastFolders().find(mountPath);
  if (found != lastFolders().end() && isFolder(found->second)) return found->second;
  return mountPath;
}

void rememberFolder(const QString& folder) {
  const QString volume = volumeOf(folder);
  if (!volume.isEmpty()) lastFolders()[volume] = folder;
}

void forgetFolders() { lastFolders().clear(); }

QString absolutePath(const QString& folder, const QString& path) {
  QString clean = QDir::cleanPath(QDir(folder).absoluteFilePath(path));
  // Cleaning keeps the ".." parts that climb above the root.
  while (clean == QLatin1String("/..") || clean.startsWith(QLatin1String("/../"))) {
    clean.remove(0, 3);
    if (clean.isEmpty()) clean = QStringLiteral("/");
  }
  return clean;
}

}  // namespace platform::Volumes
