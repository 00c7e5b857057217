#pragma once

#include <QString>
#include <QStringList>

namespace platform::Volumes {

// Mount paths of the volumes a user browses, root first.
QStringList mountPaths();

// The volume a path lies on: the longest mount path that contains it, or
// empty when no listed volume does.
QString volumeOf(const QString& path);

// Raises the device unavailable error when the volume cannot be read because
// its device is not available (not ready, no medium, I/O error), and another
// file error for any other failure to read its root.
void checkReady(const QString& mountPath);

// The volume's current folder: the last folder shown on it in this run that
// still exists, else its root.
QString currentFolder(const QString& mountPath);
void rememberFolder(const QString& folder);
void forgetFolders();

// A path taken from a folder, absolute and clean: no "." or ".." parts, no
// trailing "/" except for the root, and nothing above the root.
QString absolutePath(const QString& folder, const QString& path);

}  // namespace platform::Volumes
