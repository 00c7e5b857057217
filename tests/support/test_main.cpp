// Runs the tests in a headless application with a fixed English locale and a
// settings store in a temporary folder of its own.
#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir configHome;
  qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavlo"));
  QApplication::setOrganizationName(QStringLiteral("Tavlo"));
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
