#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace platform {

// The text of an INI file as Qt's settings class writes and reads it, for
// text values: keys under sections, each value escaped and quoted the same
// way, so that a file written by either reads the same in both. A file is
// read as far as it makes sense: lines that are neither a section, nor a key
// with its value, nor a comment are left out, and are gone from the text
// written back. Every value is written escaped anew, so that no damaged
// value (an open quote, a backslash at the end) runs into the keys after it.
class IniDocument {
 public:
  // No more key lines than this are read from a text: far more than a
  // settings file of ours holds, and few enough to read at once.
  static constexpr int MostKeys = 10'000;

  static IniDocument parse(const QByteArray& text);
  QByteArray text() const;
  // Whether the text held more key lines than are read: those after the
  // first MostKeys are left out.
  bool cutShort() const { return cutShort_; }

  // Every key with its section before it ("Settings/StartPath"; no section
  // for those under [General]), in the order of the file.
  QStringList keys() const;
  // The value's text, empty when the key is absent. A value that Qt reads as
  // a list (unquoted commas) gives its items joined by commas.
  QString value(const QString& key) const;
  QString value(const QString& section, const QString& key) const;
  void setValue(const QString& section, const QString& key, const QString& value);
  // Whether any key lies in the section (or a section below it).
  bool hasSection(const QString& section) const;
  // Removes every key of the section and of the sections below it.
  void removeSection(const QString& section);

 private:
  struct Entry {
    QString key;  // with its section: "Settings/StartPath"
    QString value;
  };
  void put(const QString& key, const QString& value);

  std::vector<Entry> entries_;
  QHash<QString, std::size_t> index_;  // of each key's entry
  bool cutShort_ = false;
};

}  // namespace platform
