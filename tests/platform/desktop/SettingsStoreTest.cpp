#include "platform/desktop/SettingsStore.h"
#include "platform/forms/TextToNumber.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QFile>
#include <QFileInfo>

using namespace platform;

namespace {

class SettingsStore : public FreshProgram {
 protected:
  static QString get(const QString& key) { return GetSetting("Tavlo", "Settings", key); }
  static void put(const QString& key, const QString& value) { SaveSetting("Tavlo", "Settings", key, value); }
};

TEST_F(SettingsStore, KeepsTextValuesInTheUsersIniFile) {
  EXPECT_EQ(get("StartPath"), QString());
  EXPECT_FALSE(QFileInfo::exists(settingsFile()));

  put("StartPath", "/home/a b,c/");
  put("Remember", "Yes");
  EXPECT_EQ(get("StartPath"), "/home/a b,c/");
  EXPECT_EQ(get("Remember"), "Yes");
  EXPECT_EQ(get("remember"), QString()) << "keys are matched exactly";

  QFile file(settingsFile());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  EXPECT_TRUE(text.contains("[Settings]"));
  EXPECT_TRUE(text.contains("Remember=Yes"));
}

TEST_F(SettingsStore, DeletingASectionRemovesAllItsKeysAndFailsWhenThereIsNone) {
  EXPECT_EQ(raisedError([] { DeleteSetting("Tavlo", "Settings"); }), errors::InvalidProcedureCall);
  put("Remember", "Yes");
  put("Filter", "3");
  SaveSetting("Tavlo", "Other", "Kept", "1");
  EXPECT_EQ(raisedError([] { DeleteSetting("Tavlo", "Settings"); }), 0);
  EXPECT_EQ(get("Remember"), QString());
  EXPECT_EQ(get("Filter"), QString());
  EXPECT_EQ(GetSetting("Tavlo", "Other", "Kept"), "1");
}

TEST_F(SettingsStore, AGarbageFileReadsWithoutHarm) {
  QDir().mkpath(QFileInfo(settingsFile()).path());
  const QByteArray garbage[] = {
      QByteArray("\x00\xff\xfe[Settings\n\x01\x02=\x03", 16),
      "[Settings]\nRemember=Yes\nFilter=" + QByteArray(1 << 20, '9'),
      "[Settings]\nRemember=Yes\nStartPath=\"/unterminated",
      "[Settings]\nRemember=Yes\nFilter=1,2,3\n",
  };
  for (const QByteArray& bytes : garbage) {
    QFile file(settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    get("Remember");
    const QString filter = get("Filter");
    // Whatever the file holds, the number reads as a number or fails as one.
    const int error = raisedError([&] { textToInt16(filter); });
    EXPECT_TRUE(error == 0 || error == errors::TypeMismatch || error == errors::Overflow) << error;
  }
  EXPECT_EQ(get("Filter"), "1,2,3") << "a value with commas reads back as its text";
}

TEST_F(SettingsStore, AStoreThatCannotBeWrittenFailsAndKeepsTheOldFile) {
  put("Remember", "Yes");
  PermissionBitsApply asUser;
  if (!asUser.active()) GTEST_SKIP() << "permission bits cannot be made to apply here";
  const QString settingsFolder = QFileInfo(settingsFile()).path();
  QFile::setPermissions(settingsFolder, QFile::ReadOwner | QFile::ExeOwner);
  QFile::setPermissions(settingsFile(), QFile::ReadOwner);
  EXPECT_EQ(raisedError([] { put("Filter", "2"); }), errors::PathFileAccessError);
  QFile::setPermissions(settingsFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QFile file(settingsFile());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray onDisk = file.readAll();
  EXPECT_TRUE(onDisk.contains("Remember=Yes"));
  EXPECT_FALSE(onDisk.contains("Filter"));
}

TEST(TextToNumber, ConvertsDecimalTextRoundingHalvesToEven) {
  constexpr int Mismatch = errors::TypeMismatch, Overflow = errors::Overflow;
  struct Case {
    const char* text;
    int value, error;
  };
  const Case cases[] = {
      {"0", 0, 0},         {"1", 1, 0},           {"-1", -1, 0},         {" 5 ", 5, 0},
      {"\t+7", 7, 0},      {"2.5", 2, 0},         {"3.5", 4, 0},         {"-2.5", -2, 0},
      {".5", 0, 0},        {"5.", 5, 0},          {"0005", 5, 0},        {"32767", 32767, 0},
      {"-32768", -32768, 0}, {"32767.4", 32767, 0}, {"", 0, Mismatch},    {"   ", 0, Mismatch},
      {"abc", 0, Mismatch}, {"1 2", 0, Mismatch},   {"1e3", 0, Mismatch},  {"0x10", 0, Mismatch},
      {"--1", 0, Mismatch}, {"5%", 0, Mismatch},    {"32768", 0, Overflow}, {"-32769", 0, Overflow},
      {"32767.5", 0, Overflow}, {"99999999999999999999999", 0, Overflow},
  };
  for (const Case& c : cases) {
    int result = 0;
    EXPECT_EQ(raisedError([&] { result = textToInt16(QString::fromLatin1(c.text)); }), c.error) << '"' << c.text << '"';
    EXPECT_EQ(result, c.value) << '"' << c.text << '"';
  }
}

}  // namespace
