#pragma once

#include "support/FakeSeams.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <ostream>

// A clean run of the program for one test: every window gone, the shared
// variables at their process-start values, the fakes installed and the
// process in a temporary folder of its own.
class FreshProgram : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Path of a file or folder inside the test's folder.
  QString pathOf(const QString& name) const { return folder.filePath(name); }
  // Writes a file with the given bytes and returns its path.
  QString writeFile(const QString& name, const QByteArray& bytes) const {
    QFile file(pathOf(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << file.fileName().toStdString();
    file.write(bytes);
    return file.fileName();
  }
  // Writes a picture of the given size in the format its name says.
  QString writePicture(const QString& name, int width, int height) const;
  QString makeFolder(const QString& name) const {
    EXPECT_TRUE(folder.mkpath(name));
    return pathOf(name);
  }
  // Every file and folder under the test's folder, with the files' bytes.
  std::map<QString, QByteArray> snapshot() const;

  // The one message box shown, as its prompt, style and title.
  void expectOneMessage(const QString& prompt, int style, const QString& title) const {
    EXPECT_EQ(seams.messageBox->calls, QStringList{fakes::MessageBox::text(prompt, style, title)});
  }

  // The settings file the program writes in this run.
  QString settingsFile() const { return settingsHome.filePath(QStringLiteral("Tavlo/Tavlo.ini")); }

  QTemporaryDir temporary;
  QTemporaryDir settingsHome;
  QDir folder;
  fakes::Installed seams;

 private:
  QString previousCurrentPath_;
};

// Lets the program finish what it started in the background: events run
// until no continuation is due, then the paints they asked for.
void settle();

// Failures print texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// The folder with the separator, as the browser keeps it.
QString withSeparator(const QString& folder);
// The test pictures shipped with the tests.
inline QString testData(const QString& name) { return QStringLiteral(TAVLO_TEST_DATA "/") + name; }
// A file's bytes; empty when it cannot be read.
inline QByteArray contentsOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
