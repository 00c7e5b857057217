#pragma once

#include <QString>

#include <functional>

class QIODevice;

namespace platform {

// Writes a file whole or not at all: the bytes go to a temporary file in the
// target's folder, every write checked, which takes the target's place only
// once it is complete and on the disk. An existing target keeps its
// permissions; one the user may not write is refused, as is a folder that
// does not exist or cannot be written. A symbolic link to a regular file
// stays, and the file it leads to is replaced; a link to anything else, a
// folder, FIFO or device is refused. Any failure, also one thrown by write,
// raises the run time's file error (with the system's reason) and leaves the
// target as it was and no temporary file behind.
void writeFileWhole(const QString& path, const std::function<void(QIODevice& out)>& write);

// FileCopy of the run time: the source's bytes, unchanged, written whole to
// the destination as above. Copying a file onto itself leaves it as it is.
void FileCopy(const QString& source, const QString& destination);

}  // namespace platform
