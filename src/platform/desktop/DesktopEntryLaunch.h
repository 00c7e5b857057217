#pragma once

#include <QString>

namespace platform {

// Starts the program of a desktop entry file, detached, the way the entry's
// command line says: GIO expands its field codes (%f %F %u %U), its quoting
// and its markers by the desktop entry rules and starts the program without
// a shell. The file, unless the text is empty, is the one file it opens.
// Raises file not found when the entry cannot be read or its program cannot
// be started.
void launchDesktopEntry(const QString& desktopEntry, const QString& file);

}  // namespace platform
