#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace platform {

// The text of an INI file as Qt's settings class writes and reads it, for
// text values: keys under sections, each value escaped and quoted the same
// way, so that a file written by either reads the same in both. A file is
// read as far as it makes sense: lines that are neither a section, nor a key
// with its value, nor a comment are left out, and are gone from the text
// written back.
class IniDocument {
 public:
  static IniDocument parse(const QByteArray& text);
  QByteArray text() const;

  // The value's text, empty when the key is absent. A value that Qt reads as
  // a list (unquoted commas) gives its items joined by commas.
  QString value(const QString& section, const QString& key) const;
  void setValue(const QString& section, const QString& key, const QString& value);
  // Whether any key lies in the section (or a section below it).
  bool hasSection(const QString& section) const;
  // Removes every key of the section and of the sections below it.
  void removeSection(const QString& section);

 private:
  struct Entry {
    QString key;       // with its section: "Settings/StartPath"
    QByteArray value;  // as it stands in the file, escaped
  };
  void put(const QString& key, const QByteArray& value);

  std::vector<Entry> entries_;
};

}  // namespace platform
