#include "platform/desktop/SettingsStore.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/IniDocument.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/SafeWrite.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QStandardPaths>

namespace platform {

namespace {

QString& storeFolder() {
  static QString folder;
  return folder;
}

QString storeFile(const QString& application) {
  const QString folder = storeFolder().isEmpty()
                             ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                             : storeFolder();
  return folder + QLatin1Char('/') + application + QLatin1Char('/') + application + QStringLiteral(".ini");
}

// Far more than any settings file of ours holds: a larger file is no store.
constexpr std::int64_t LargestStore = 1 << 20;

// The store as the file holds it, read without blocking: a FIFO, device or
// folder of that name is no store. Reading for a change, a file that is
// there but cannot be read fails rather than be replaced by one without
// its keys.
IniDocument readStore(const QString& path, bool forChange) {
  QByteArray text;
  const auto error = runCatchingErrors([&] {
    ReadableFile file(path);
    if (file.size() <= LargestStore) text = file.readAll();
  });
  if (error && forChange && error->number() != errors::FileNotFound) throw *error;
  return IniDocument::parse(text);
}

// The whole file replaced at once, with every key the store holds.
void writeStore(const QString& file, const IniDocument& store) {
  if (!QDir().mkpath(QFileInfo(file).path())) raise(errors::PathNotFound);
  const QByteArray text = store.text();
  writeFileWhole(file, [&](QIODevice& out) { out.write(text); });
}

}  // namespace

void setSettingsFolder(const QString& folder) { storeFolder() = folder; }

QString GetSetting(const QString& application, const QString& section, const QString& key) {
  return readStore(storeFile(application), false).value(section, key);
}

void SaveSetting(const QString& application, const QString& section, const QString& key, const QString& value) {
  const QString file = storeFile(application);
  IniDocument store = readStore(file, true);
  store.setValue(section, key, value);
  writeStore(file, store);
}

void DeleteSetting(const QString& application, const QString& section) {
  const QString file = storeFile(application);
  IniDocument store = readStore(file, true);
  if (!store.hasSection(section)) raise(errors::InvalidProcedureCall);
  store.removeSection(section);
  writeStore(file, store);
}

}  // namespace platform
