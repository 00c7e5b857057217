#pragma once

// A desktop and a home of the tests' own, so that what the machine has
// installed plays no part: one program on the PATH, the logger, started
// straight by the default entry for JPEG pictures and for folders, and
// through wrappers for TIFF, WebP, PPM and TGA; PNG pictures default to a
// program that is not installed; no other type has one. The home trash is in
// the temporary folders. Only the machine's MIME database is shared.
//
// GIO reads these places once per process, so they are made on first use,
// before the first lookup, and kept until the process ends.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

struct TestDesktop {
  // The desktop entry that starts the logger straight with the file's path.
  // The logger (also on the PATH as flatpak) writes each of its arguments,
  // each ended by a NUL, to the file $TAVLO_TEST_RECEIVED names.
  QString viewer;
  // The home trash.
  QString trash;
};

inline void writeTestFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
}

inline const TestDesktop& testDesktop() {
  static QTemporaryDir home;
  static const TestDesktop desktop = [] {
    const QDir root(home.path());
    for (const char* folder : {"bin", "data/applications", "config", "system-data", "system-config"})
      root.mkpath(QString::fromLatin1(folder));
    const QString logger = root.filePath(QStringLiteral("bin/tavlo-test-viewer"));
    writeTestFile(logger,
                  "#!/bin/sh\n"
                  "[ -n \"$TAVLO_TEST_RECEIVED\" ] || exit 0\n"
                  "printf '%s\\0' \"$@\" > \"$TAVLO_TEST_RECEIVED.part\"\n"
                  "mv \"$TAVLO_TEST_RECEIVED.part\" \"$TAVLO_TEST_RECEIVED\"\n");
    QFile::setPermissions(logger, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::link(logger, root.filePath(QStringLiteral("bin/flatpak")));  // a flatpak that only notes its arguments
    const struct {
      const char *name, *exec, *types;
    } entries[] = {
        {"viewer", "tavlo-test-viewer %f", "image/jpeg;inode/directory"},
        {"gone", "tavlo-test-not-installed %f", "image/png"},
        {"env", "env TAVLO_TEST=x tavlo-test-viewer %f", "image/tiff"},
        {"shell", "sh -c 'tavlo-test-viewer \"$1\"' sh %f", "image/webp"},
        {"flatpak", "flatpak run --branch=1 --command=tavlo-test-viewer org.x.Y @@ %f @@", "image/x-portable-pixmap"},
        {"uris", "tavlo-test-viewer --flag %U", "image/x-tga"},
        // Field codes inside quotes, which the desktop entry rules forbid.
        {"single-quoted", "sh -c 'tavlo-test-viewer %f'", "image/x-xpixmap"},
        {"double-quoted", "sh -c \"tavlo-test-viewer %f\"", "image/x-xbitmap"},
    };
    QByteArray defaults = "[Default Applications]\n";
    for (const auto& e : entries) {
      const QByteArray file = QByteArray("tavlo-test-") + e.name + ".desktop";
      writeTestFile(root.filePath(QStringLiteral("data/applications/") + QString::fromLatin1(file)),
                    QByteArray("[Desktop Entry]\nType=Application\nName=Test ") + e.name + "\nExec=" + e.exec +
                        "\nMimeType=" + e.types + ";\n");
      for (const QByteArray& type : QByteArray(e.types).split(';')) defaults += type + '=' + file + '\n';
    }
    writeTestFile(root.filePath(QStringLiteral("config/mimeapps.list")), defaults);
    // The machine's MIME database, without its programs.
    QFile::link(QStringLiteral("/usr/share/mime"), root.filePath(QStringLiteral("system-data/mime")));

    qputenv("HOME", QFile::encodeName(root.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(root.filePath(QStringLiteral("system-data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root.filePath(QStringLiteral("system-config"))));
    qputenv("PATH", QFile::encodeName(root.filePath(QStringLiteral("bin"))) + ':' + qgetenv("PATH"));
    return TestDesktop{root.filePath(QStringLiteral("data/applications/tavlo-test-viewer.desktop")),
                       root.filePath(QStringLiteral("data/Trash"))};
  }();
  return desktop;
}
