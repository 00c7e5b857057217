#pragma once

// A desktop of the tests' own for the program lookup, so that what the
// machine has installed plays no part: one viewer program on the PATH, the
// default for JPEG pictures and for folders; PNG pictures default to a
// program that is not installed; no other type has a program. The machine's MIME database is
// the only thing shared with it.
//
// GIO reads these places once per process, so they are made on first use,
// before the first lookup, and kept until the process ends.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

struct TestDesktop {
  // The viewer's full path. It writes the count of its arguments and its
  // first argument, a line each, to the file $TAVLO_TEST_RECEIVED names.
  QString viewer;
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
    const QString viewer = root.filePath(QStringLiteral("bin/tavlo-test-viewer"));
    writeTestFile(viewer,
                  "#!/bin/sh\n"
                  "[ -n \"$TAVLO_TEST_RECEIVED\" ] || exit 0\n"
                  "printf '%s\\n' \"$#\" \"$1\" > \"$TAVLO_TEST_RECEIVED.part\"\n"
                  "mv \"$TAVLO_TEST_RECEIVED.part\" \"$TAVLO_TEST_RECEIVED\"\n");
    QFile::setPermissions(viewer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeTestFile(root.filePath(QStringLiteral("data/applications/tavlo-test-viewer.desktop")),
                  "[Desktop Entry]\nType=Application\nName=Test Viewer\n"
                  "Exec=tavlo-test-viewer %f\nMimeType=image/jpeg;inode/directory;\n");
    writeTestFile(root.filePath(QStringLiteral("data/applications/tavlo-test-gone.desktop")),
                  "[Desktop Entry]\nType=Application\nName=Gone Viewer\n"
                  "Exec=tavlo-test-not-installed %f\nMimeType=image/png;\n");
    writeTestFile(root.filePath(QStringLiteral("config/mimeapps.list")),
                  "[Default Applications]\nimage/jpeg=tavlo-test-viewer.desktop\n"
                  "inode/directory=tavlo-test-viewer.desktop\n"
                  "image/png=tavlo-test-gone.desktop\n");
    // The machine's MIME database, without its programs.
    QFile::link(QStringLiteral("/usr/share/mime"), root.filePath(QStringLiteral("system-data/mime")));

    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(root.filePath(QStringLiteral("system-data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root.filePath(QStringLiteral("system-config"))));
    qputenv("PATH", QFile::encodeName(root.filePath(QStringLiteral("bin"))) + ':' + qgetenv("PATH"));
    return TestDesktop{viewer};
  }();
  return desktop;
}
