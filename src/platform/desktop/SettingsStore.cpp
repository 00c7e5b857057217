#include "platform/desktop/SettingsStore.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
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

// Far more than any settings file of ours holds: a larger file is no store.
constexpr std::int64_t LargestStore = 1 << 20;

RuntimeError keptAsItIs(const QString& reason) {
  return RuntimeError(errors::PathFileAccessError, errorDescription(errors::PathFileAccessError), reason);
}

}  // namespace

// Read without blocking: a FIFO, device or folder of that name is no store.
SettingsStore::SettingsStore(const QString& application) : path_(settingsFile(application)) {
  QByteArray text;
  unread_ = runCatchingErrors([&] {
    ReadableFile file(path_);
    if (file.size() > LargestStore)
      throw keptAsItIs(
          QStringLiteral("The file is too large to be read as settings (over a megabyte), so it is "
                         "kept as it is."));
    text = file.readAll();
  });
  if (unread_ && unread_->number() == errors::FileNotFound) unread_.reset();
  document_ = IniDocument::parse(text);
  if (document_.cutShort())
    unread_ =
        keptAsItIs(QStringLiteral("The file holds too many settings to be read (over %1), so it is kept as it is.")
                       .arg(IniDocument::MostKeys));
}

bool SettingsStore::removeSection(const QString& section) {
  if (!document_.hasSection(section)) return false;
  document_.removeSection(section);
  return true;
}

void SettingsStore::save() const {
  if (unread_) throw *unread_;
  if (!QDir().mkpath(QFileInfo(path_).path())) raise(errors::PathNotFound);
  const QByteArray text = document_.text();
  writeFileWhole(path_, [&](QIODevice& out) { out.write(text); });
}

QString settingsFile(const QString& application) {
  const QString folder = storeFolder().isEmpty()
                             ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                             : storeFolder();
  return folder + QLatin1Char('/') + application + QLatin1Char('/') + application + QStringLiteral(".ini");
}

void setSettingsFolder(const QString& folder) { storeFolder() = folder; }

}  // namespace platform
