// Runs the tests in a headless application with a fixed English locale, a
// settings store in a temporary folder of its own, and a desktop of the
// tests' own for looking up the programs that open files; with mounts of its
// own, so that a volume a test mounts goes with the process.
#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>

#include "platform/desktop/PluginFolders.h"
#include "startup/ProgramIdentity.h"
#include "support/HungVolume.h"
#include "support/TestDesktop.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  HungVolume::keepMountsInThisProcess();  // before any thread exists
  // Headless, unless a script runs a case on a display of its own.
  qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("TAVLO_TEST_PLATFORM", QStringLiteral("offscreen")).toLocal8Bit());
  QTemporaryDir configHome;
  qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ::testing::InitGoogleTest(&argc, argv);
  // As the program sees Qt's plugins, where a test is to see what the
  // program's process loads (the tests themselves write pictures with Qt's).
  if (qEnvironmentVariableIsSet("TAVLO_TEST_AS_PROGRAM")) platform::PluginFolders::hideImagePlugins();
  testDesktop();
  QApplication application(argc, argv);
  ProgramIdentity::announce();
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
