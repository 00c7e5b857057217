#pragma once

#include <QString>

#include <functional>

class QIODevice;

namespace platform {

// Writes a file whole or not at all, keeping what the file was.
//
// A new file, or one that can be replaced without losing anything, is
// written into a new file in its folder (unnamed where the file system
// allows, so that nothing is left by a crash), every write checked, which
// takes the target's place only once it is complete and on the disk, with the
// old file's owner, group, permissions, ACL and extended attributes. Setuid
// and setgid go only to a file of the same owner and group. Where the file
// has other hard links, or what it was cannot all be given back, or its
// folder may not be written, the new contents are written over the old in
// the file itself, room for them taken first; should a write then fail
// midway, the old contents are put back where the disk allows.
//
// The target must be writable as the kernel judges it, root's override
// included. A symbolic link to a regular file stays, and the file it leads
// to is written, but only where the kernel would follow it: a link in a
// sticky folder anyone may write is followed only by its owner, or where the
// folder's owner owns it too; and another user's file there is not written
// in place. A link to anything else, or to nothing, a folder, FIFO or device
// is refused. Any failure, also one thrown by write, raises the run time's
// file error (with the system's reason) and leaves the target as it was.
// Temporaries left in the folder by a save that was killed are removed by
// the next save there.
void writeFileWhole(const QString& path, const std::function<void(QIODevice& out)>& write);

}  // namespace platform
