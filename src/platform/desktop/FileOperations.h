#pragma once

#include <QString>

namespace platform {

// Renames (or moves) a file. An existing target is never replaced: the
// rename then fails with the file already exists error. A relative new name
// is taken from the process's current folder.
void Name(const QString& oldPath, const QString& newPath);

// Moves a file to the user's trash (the freedesktop.org trash: the home
// trash, or the one on the file's own volume). True once it is there; false,
// with the file untouched, where its volume has no trash that can take it.
// A file that is not there, or that the user may not write, is refused as
// Kill refuses it, as is any move the trash cannot make.
bool MoveToTrash(const QString& path);

// Deletes a file for good. A file that is not there, or that the user may
// not write (as the system judges the running program's rights), is refused
// with the run time's error, as is a file that cannot be removed.
void Kill(const QString& path);

}  // namespace platform
