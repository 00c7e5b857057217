#pragma once

#include "platform/desktop/IniDocument.h"
#include "platform/desktop/RuntimeError.h"

#include <QString>

#include <optional>

namespace platform {

// The per-user settings store of an application: text values by section and
// key, kept in $XDG_CONFIG_HOME/<application>/<application>.ini in the INI
// form Qt's settings class reads and writes. It is read once, when made,
// changed in memory, and written back whole at once, so that one save is one
// replacement of the file.
class SettingsStore {
 public:
  // Reading never blocks and never fails: a file that is missing, damaged,
  // larger than a megabyte, with too many keys or no regular file gives what
  // makes sense in it, or nothing.
  explicit SettingsStore(const QString& application);

  // The stored text, or empty text when the key is absent.
  QString value(const QString& section, const QString& key) const { return document_.value(section, key); }
  void setValue(const QString& section, const QString& key, const QString& value) {
    document_.setValue(section, key, value);
  }
  // Removes the whole section; false when there was none.
  bool removeSection(const QString& section);
  // Replaces the file at once with every key held; a symbolic link to a
  // regular file stays a link and its target is replaced. A file that is
  // there but could not be read whole is never replaced: saving it raises
  // the reason it was not read, as it raises the file error of a write the
  // system refuses.
  void save() const;

 private:
  QString path_;
  IniDocument document_;
  std::optional<RuntimeError> unread_;  // why the file was not read whole
};

// The file of the application's store.
QString settingsFile(const QString& application);

// Where the store keeps its files instead of the user's configuration
// folder (tests keep theirs apart); empty text for that folder again.
void setSettingsFolder(const QString& folder);

}  // namespace platform
