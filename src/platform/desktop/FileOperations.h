#pragma once

#include <QString>

namespace platform {

// Renames (or moves) a file. An existing target is never replaced: the
// rename then fails with the file already exists error. A relative new name
// is taken from the process's current folder.
void Name(const QString& oldPath, const QString& newPath);

// Deletes a file for good. A file its user may not write (no write
// permission, whoever runs the program) is refused with the permission
// denied error, as is a file that cannot be removed.
void Kill(const QString& path);

}  // namespace platform
