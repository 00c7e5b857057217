// Fuzz target for the settings file: the bytes read as the settings store
// reads them, checked against Qt's own settings class, which wrote the files
// of earlier versions and must read ours the same.
// - Every key Qt reads as text (a list: its items joined by commas) reads
//   the same here, and no other key is read here (of those that can be
//   asked for).
// - With a key set after the rest, as Apply sets its keys, the text written
//   back reads the same here, with every key, and in Qt, every value as
//   text; written again, it is the same text.
// - The same values written by Qt read the same here as in Qt.
// Any difference is told on the error output and aborts. Built with
// libFuzzer under clang (make fuzz); with other compilers it is built with a
// driver that replays the corpus, as a test.

#include "FuzzSupport.h"
#include "platform/desktop/IniDocument.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using platform::IniDocument;

// Qt keeps the files it read, by name; each file here gets a new one.
QString newFile() {
  static int made = 0;
  return fuzzing::workFolder<QCoreApplication>("settings_fuzzer").filePath(QStringLiteral("%1.ini").arg(++made));
}

// Text as C escapes where it is no printable ASCII.
QByteArray shown(const QString& text) {
  QByteArray out;
  for (const QChar c : text)
    out += c.unicode() >= 0x20 && c.unicode() < 0x7F
               ? QByteArray(1, static_cast<char>(c.unicode()))
               : "\\u" + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
  return out;
}

// The first difference found: what was compared, the key, what was read
// here and what was expected (Qt's reading, or the value before writing).
[[noreturn]] void differ(const char* what, const QString& key, const QString& read, const QString& expected) {
  std::fprintf(stderr, "%s: key \"%s\": read \"%s\", expected \"%s\"\n", what, shown(key).constData(),
               shown(read).constData(), shown(expected).constData());
  std::abort();
}

// Qt's value as text; false for a value of another type, which a settings
// file of ours never holds.
bool asText(const QVariant& value, QString& text) {
  if (value.typeId() == QMetaType::QStringList) {
    text = value.toStringList().join(QLatin1Char(','));
    return true;
  }
  text = value.toString();
  return value.typeId() == QMetaType::QString;
}

// A key that can be asked for: Qt takes "/a//b/" for "a/b", so a key read
// as empty, or with a '/' at either end or two together, is never found.
bool reachable(const QString& key) {
  return !key.isEmpty() && !key.startsWith(QLatin1Char('/')) && !key.endsWith(QLatin1Char('/')) &&
         !key.contains(QLatin1String("//"));
}

QStringList reachableKeys(const QStringList& keys) {
  QStringList found;
  for (const QString& key : keys)
    if (reachable(key)) found.append(key);
  return found;
}

// What Qt reads from the file's bytes, key by key.
void expectQtReads(const char* what, const QByteArray& bytes, const IniDocument& ours, bool onlyText) {
  const QString path = newFile();
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) std::abort();
  file.close();
  {
    const QSettings qt(path, QSettings::IniFormat);
    QStringList ourKeys = reachableKeys(ours.keys());
    for (const QString& key : reachableKeys(qt.allKeys())) {
      QString theirs;
      const bool text = asText(qt.value(key), theirs);
      if (!text && onlyText) differ(what, key, ours.value(key), QStringLiteral("(not text)"));
      if (!ourKeys.removeOne(key)) differ(what, key, QStringLiteral("(no such key)"), theirs);
      if (text && ours.value(key) != theirs) differ(what, key, ours.value(key), theirs);
    }
    if (!ourKeys.isEmpty()) differ(what, ourKeys.front(), ours.value(ourKeys.front()), QStringLiteral("(no such key)"));
  }
  QFile::remove(path);
}

// Qt takes "@Variant(...)" and "@DateTime(...)" for its own serialized
// data, which may ask for gigabytes, or for a GUI type it cannot make here;
// a settings file of ours never holds them, and such a file is not given to
// Qt as it is.
bool holdsQtData(const QByteArray& bytes, const IniDocument& document) {
  if (bytes.contains("ariant(") || bytes.contains("ateTime(")) return true;
  const QStringList keys = document.keys();
  return std::any_of(keys.begin(), keys.end(), [&](const QString& key) {
    return document.value(key).contains(QLatin1String("@Variant(")) ||
           document.value(key).contains(QLatin1String("@DateTime("));
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  IniDocument document = IniDocument::parse(bytes);
  if (document.cutShort()) return 0;  // such a file is never written
  if (!holdsQtData(bytes, document)) expectQtReads("reading the file", bytes, document, false);

  document.setValue(QStringLiteral("Settings"), QStringLiteral("Remember"), QStringLiteral("Yes"));
  const QByteArray written = document.text();
  const IniDocument reread = IniDocument::parse(written);
  QStringList keys = document.keys(), rereadKeys = reread.keys();
  std::sort(keys.begin(), keys.end());
  std::sort(rereadKeys.begin(), rereadKeys.end());
  if (rereadKeys != keys) differ("keys written", {}, rereadKeys.join(QLatin1Char(' ')), keys.join(QLatin1Char(' ')));
  for (const QString& key : document.keys())
    if (reread.value(key) != document.value(key))
      differ("written and read again", key, reread.value(key), document.value(key));
  if (reread.text() != written)
    differ("written again", {}, QString::fromUtf8(reread.text()), QString::fromUtf8(written));
  expectQtReads("reading what we wrote", written, document, true);

  const QString path = newFile();
  {
    QSettings qt(path, QSettings::IniFormat);
    for (const QString& key : reachableKeys(document.keys())) qt.setValue(key, document.value(key));
  }
  QFile file(path);
  const QByteArray byQt = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  file.remove();
  expectQtReads("reading what Qt wrote", byQt, IniDocument::parse(byQt), true);
  return 0;
}
