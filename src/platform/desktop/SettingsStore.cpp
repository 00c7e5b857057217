#include "platform/desktop/SettingsStore.h"

#include "platform/desktop/RuntimeError.h"

#include <QSettings>
#include <QStringList>

#include <memory>

namespace platform {

namespace {

std::unique_ptr<QSettings> storeOf(const QString& application) {
  auto store = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, application, application);
  store->setAtomicSyncRequired(true);
  return store;
}

void writeOut(QSettings& store) {
  store.sync();
  if (store.status() != QSettings::NoError) raise(errors::PathFileAccessError);
}

}  // namespace

QString GetSetting(const QString& application, const QString& section, const QString& key) {
  const auto store = storeOf(application);
  const QVariant value = store->value(section + QLatin1Char('/') + key);
  // A hand-edited value with commas reads as a list: take it back as one text.
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QLatin1Char(','));
  return value.toString();
}

void SaveSetting(const QString& application, const QString& section, const QString& key, const QString& value) {
  const auto store = storeOf(application);
  store->setValue(section + QLatin1Char('/') + key, value);
  writeOut(*store);
}

void DeleteSetting(const QString& application, const QString& section) {
  const auto store = storeOf(application);
  if (!store->childGroups().contains(section)) raise(errors::InvalidProcedureCall);
  store->remove(section);
  writeOut(*store);
}

}  // namespace platform
