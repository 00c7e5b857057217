#pragma once

#include <QString>

namespace platform {

// The per-user settings store: text values by application, section and key,
// kept in $XDG_CONFIG_HOME/<application>/<application>.ini. Each write
// replaces the file only once it is complete.

// The stored text, or empty text when the key is absent.
QString GetSetting(const QString& application, const QString& section, const QString& key);
// Raises the path/file access error when the store cannot be written.
void SaveSetting(const QString& application, const QString& section, const QString& key, const QString& value);
// Removes the whole section; raises the invalid procedure call error when
// there is no such section, and the path/file access error when the store
// cannot be written.
void DeleteSetting(const QString& application, const QString& section);

}  // namespace platform
