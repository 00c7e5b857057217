#pragma once

#include <QString>

namespace platform {

// The per-user settings store: text values by application, section and key,
// kept in $XDG_CONFIG_HOME/<application>/<application>.ini in the INI form
// Qt's settings class reads and writes. Reading never blocks and never
// fails: a file that is missing, damaged, larger than a megabyte or no
// regular file gives what makes sense in it, or nothing. Each write replaces the whole file at once, with
// every key read from it; a symbolic link to a regular file stays a link
// and its target is replaced, a link to anything else is not written
// through.

// The stored text, or empty text when the key is absent.
QString GetSetting(const QString& application, const QString& section, const QString& key);
// Raises the run time's file error when the store cannot be written.
void SaveSetting(const QString& application, const QString& section, const QString& key, const QString& value);
// Removes the whole section; raises the invalid procedure call error when
// there is no such section, and the file error when the store cannot be
// written.
void DeleteSetting(const QString& application, const QString& section);

// Where the store keeps its files instead of the user's configuration
// folder (tests keep theirs apart); empty text for that folder again.
void setSettingsFolder(const QString& folder);

}  // namespace platform
