#include "platform/pictures/PictureTypes.h"

#include "platform/desktop/PluginFolders.h"

#include <QMimeDatabase>

namespace platform {

QString otherPicturePatterns(const QStringList& covered) {
  QStringList patterns;
  const auto add = [&](const QString& pattern) {
    if (!covered.contains(pattern, Qt::CaseInsensitive) && !patterns.contains(pattern, Qt::CaseInsensitive))
      patterns.append(pattern);
  };
  // The names the desktop gives files of each type ("*.vst" is a Visio
  // drawing's before a TGA picture's), or, for a type it does not know, the
  // image plugin's own names.
  const QMimeDatabase types;
  for (const auto& [name, formats] : PluginFolders::imageFormatsByMimeType()) {
    const QMimeType type = types.mimeTypeForName(QString::fromLatin1(name));
    for (const QString& glob : type.globPatterns())
      if (types.mimeTypeForFile(QLatin1Char('x') + glob.mid(1), QMimeDatabase::MatchExtension) == type)
        add(glob.toLower());
    if (!type.isValid())
      for (const QByteArray& format : formats) add(QStringLiteral("*.") + QString::fromLatin1(format).toLower());
  }
  // And the phone and web pictures the decoder worker reads through
  // libraries of its own, whatever the plugins.
  for (const char* own : {"*.heic", "*.heif", "*.avif", "*.jxl", "*.dng", "*.cr2", "*.cr3", "*.nef", "*.arw", "*.orf",
                          "*.rw2", "*.raf", "*.pef", "*.srw"})
    add(QString::fromLatin1(own));
  return patterns.join(QLatin1Char(';'));
}

}  // namespace platform
