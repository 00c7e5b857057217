#include "support/FreshProgram.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/SettingsStore.h"
#include "platform/desktop/Volumes.h"
#include "platform/forms/Form.h"
#include "startup/MODULE_Public.h"

#include <QColor>
#include <QCoreApplication>
#include <QDirIterator>
#include <QImage>
#include <QPainter>
#include <QTest>

void FreshProgram::SetUp() {
  platform::discardAllForms();
  MODULE_Public::resetToProcessStart();
  platform::Volumes::forgetFolders();
  platform::Screen::setMousePointer(platform::Screen::DefaultPointer);
  seams = fakes::install();
  ASSERT_TRUE(temporary.isValid());
  // The canonical form, so that paths compare equal to what the lists show.
  folder = QDir(QDir(temporary.path()).canonicalPath());
  previousCurrentPath_ = QDir::currentPath();
  QDir::setCurrent(folder.path());
  // The settings store lives in a folder of the test's own.
  ASSERT_TRUE(settingsHome.isValid());
  platform::setSettingsFolder(settingsHome.path());
}

void FreshProgram::TearDown() {
  platform::discardAllForms();
  // What the test's windows left running ends before the next test.
  settle();
  QDir::setCurrent(previousCurrentPath_);
}

QString FreshProgram::writePicture(const QString& name, int width, int height) const {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(200, 80, 40));
  QPainter painter(&image);
  painter.fillRect(0, 0, width / 2, height / 2, Qt::blue);
  painter.end();
  const QString path = pathOf(name);
  EXPECT_TRUE(image.save(path)) << path.toStdString();
  return path;
}

void settle() {
  EXPECT_TRUE(QTest::qWaitFor([] { return platform::pendingContinuations() == 0; }, 10000))
      << platform::pendingContinuations() << " continuations still due";
  QCoreApplication::processEvents();
}

QString withSeparator(const QString& folder) { return MODULE_Public::folderWithSeparator(folder); }

std::map<QString, QByteArray> FreshProgram::snapshot() const {
  std::map<QString, QByteArray> found;
  QDirIterator it(folder.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    found[folder.relativeFilePath(path)] = it.fileInfo().isDir() ? QByteArray("(folder)") : contentsOf(path);
  }
  return found;
}
