#include "platform/desktop/PluginFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>

#include <unistd.h>

#include <cstdlib>

namespace platform {

namespace {

constexpr char ImageFormats[] = "imageformats";
constexpr char LinksPrefix[] = "tavlo-plugins-";

// Qt's own plugin folders: where its build put them, and those the
// environment adds (the order in which Qt looks).
QStringList realPluginFolders() {
  QStringList folders = QString::fromLocal8Bit(qgetenv("QT_PLUGIN_PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
  folders.append(QLibraryInfo::path(QLibraryInfo::PluginsPath));
  folders.removeDuplicates();
  return folders;
}

QString linksHome() {
  const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
  return QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable() ? runtime : QDir::tempPath();
}

// Folders of links left by runs that have ended.
void sweepEndedRuns(const QString& home) {
  const QDir folder(home);
  for (const QString& name : folder.entryList({QLatin1String(LinksPrefix) + QLatin1Char('*')}, QDir::Dirs)) {
    const QString pid = name.mid(static_cast<qsizetype>(sizeof LinksPrefix - 1)).section(QLatin1Char('-'), 0, 0);
    if (!pid.isEmpty() && !QFileInfo::exists(QStringLiteral("/proc/") + pid))
      QDir(folder.filePath(name)).removeRecursively();
  }
}

QString linksFolder;

void removeLinks() {
  if (!linksFolder.isEmpty()) QDir(linksFolder).removeRecursively();
}

}  // namespace

void PluginFolders::hideImagePlugins() {
  const QString home = linksHome();
  sweepEndedRuns(home);
  const QString folder = QDir(home).filePath(QLatin1String(LinksPrefix) + QString::number(::getpid()));
  QDir(folder).removeRecursively();
  if (!QDir().mkpath(folder)) return;
  linksFolder = folder;
  std::atexit(removeLinks);
  QStringList seen;
  const QStringList real = realPluginFolders();
  for (qsizetype i = 0; i < real.size(); ++i) {
    const QString view = QDir(folder).filePath(QString::number(i));
    QDir().mkpath(view);
    for (const QString& kind : QDir(real[i]).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
      if (kind != QLatin1String(ImageFormats)) QFile::link(QDir(real[i]).filePath(kind), QDir(view).filePath(kind));
    seen.append(view);
  }
  QCoreApplication::setLibraryPaths(seen);
}

std::map<QByteArray, QList<QByteArray>> PluginFolders::imageFormatsByMimeType() {
  // Qt's built-in formats, then each plugin's.
  std::map<QByteArray, QList<QByteArray>> formats = {
      {"image/bmp", {"bmp"}},
      {"image/png", {"png"}},
      {"image/x-portable-bitmap", {"pbm"}},
      {"image/x-portable-graymap", {"pgm"}},
      {"image/x-portable-pixmap", {"ppm"}},
      {"image/x-xbitmap", {"xbm"}},
      {"image/x-xpixmap", {"xpm"}},
  };
  for (const QString& real : realPluginFolders()) {
    const QDir plugins(QDir(real).filePath(QLatin1String(ImageFormats)));
    for (const QString& file : plugins.entryList({QStringLiteral("*.so")}, QDir::Files)) {
      const QJsonObject about =
          QPluginLoader(plugins.filePath(file)).metaData().value(QLatin1String("MetaData")).toObject();
      const QJsonArray keys = about.value(QLatin1String("Keys")).toArray();
      const QJsonArray types = about.value(QLatin1String("MimeTypes")).toArray();
      for (qsizetype i = 0; i < keys.size() && i < types.size(); ++i) {
        QList<QByteArray>& known = formats[types[i].toString().toLatin1()];
        const QByteArray key = keys[i].toString().toLatin1();
        if (!key.isEmpty() && !known.contains(key)) known.append(key);
      }
    }
  }
  std::erase_if(formats, [](const auto& entry) { return entry.first.isEmpty(); });
  return formats;
}

}  // namespace platform
