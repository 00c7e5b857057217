#pragma once

#include <QString>

namespace platform {

// Starts the program of a desktop entry file, detached, the way the entry's
// command line says: GIO expands its field codes (%f %F %u %U), its quoting
// and its markers by the desktop entry rules and starts the program without
// a shell. The file, unless the text is empty, is the one file it opens.
// Raises file not found when the entry cannot be read, its command line
// breaks the quoting rules or its program cannot be started.
void launchDesktopEntry(const QString& desktopEntry, const QString& file);

// Whether a desktop entry's command line keeps every field code outside
// quotes, as the desktop entry rules require. GIO puts the file's name,
// quoted for a shell, in place of a field code even inside quotes, where its
// quoting ends theirs: a name could then become commands for "sh -c".
bool fieldCodesOutsideQuotes(const QByteArray& commandLine);

}  // namespace platform
