#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace platform {

// The mount paths of the volumes a user browses, from the text of
// /proc/self/mountinfo: the root first, then the others sorted, each once;
// the root alone when no other is left, whether or not it is listed. The
// kernel's pseudo file systems and the system's own trees are left out, and
// so is a mount that knownNotFolder says is no folder (a single file
// bind-mounted into a container). Lines that make no sense are skipped.
QStringList browsableMounts(const QByteArray& mountinfo,
                            const std::function<bool(const QString& mountPath)>& knownNotFolder);

// True when the path is known not to be a folder, or not to be there at all,
// from what the kernel already holds of it: a network or FUSE file system is
// not asked, so the answer comes even when its server hangs. False when the
// kernel cannot tell.
bool knownNotFolder(const QString& path);

}  // namespace platform
