#include "platform/desktop/SettingsStore.h"
#include "platform/forms/TextToNumber.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <functional>

using namespace platform;

namespace {

class SettingsStore : public FreshProgram {
 protected:
  static QString get(const QString& key) { return GetSetting("Tavlo", "Settings", key); }
  static void put(const QString& key, const QString& value) { SaveSetting("Tavlo", "Settings", key, value); }
};

// Files of the store's earlier versions were written by QSettings; each
// value reads back the same from a file written by either.
TEST_F(SettingsStore, ValuesReadTheSameAsInQtsOwnIniFilesBothWays) {
  const QString values[] = {
      "Yes", "", "/home/a b/photos/", "/home/a,b/", "C:\\Pictures\\", "say \"cheese\"", "Grüße/写真/🙂",
      "a trailing blank ", " a leading blank", "a;b=c", "@at", "@@at", "tab\tline\nend", QString(QChar(0)) + "1",
  };
  QDir().mkpath(QFileInfo(settingsFile()).path());
  int n = 0;
  for (const QString& value : values) {
    SCOPED_TRACE(value.toStdString());
    // A file of its own for each QSettings, which keeps what it read.
    const QString qtFile = pathOf(QStringLiteral("qt%1.ini").arg(++n));
    QSettings(qtFile, QSettings::IniFormat).setValue("Settings/StartPath", value);
    QFile::remove(settingsFile());
    ASSERT_TRUE(QFile::copy(qtFile, settingsFile()));
    EXPECT_EQ(get("StartPath"), value) << "from QSettings";

    put("StartPath", value);
    const QString ourFile = pathOf(QStringLiteral("our%1.ini").arg(n));
    ASSERT_TRUE(QFile::copy(settingsFile(), ourFile));
    QSettings qt(ourFile, QSettings::IniFormat);
    EXPECT_EQ(qt.value("Settings/StartPath").toString(), value) << "in QSettings";
    EXPECT_EQ(qt.status(), QSettings::NoError);
  }
  EXPECT_TRUE(contentsOf(settingsFile()).startsWith("[Settings]\nStartPath="));
  EXPECT_EQ(get("startpath"), QString()) << "keys are matched exactly";
}

// What makes sense in a damaged file is read; the next writes keep it and
// every key written, and leave a file without the damage.
TEST_F(SettingsStore, ADamagedFileIsReadAsFarAsItMakesSenseAndReplacedWholeOnTheNextWrite) {
  const struct {
    const char* label;
    QByteArray bytes;
    const char *remember, *filter;
  } cases[] = {
      {"a # line", "[Settings]\n# notes\nRemember=Yes\nFilter=3\n", "Yes", "3"},
      {"binary junk", QByteArray("\x00\xff\xfe[Settings\n\x01\x02\n", 16) + "[Settings]\nRemember=Yes\n\x7f\x80\nFilter=3",
       "Yes", "3"},
      {"a quote left open", "[Settings]\nRemember=Yes\nFilter=3\nStartPath=\"/open", "Yes", "3"},
      {"a value with commas", "[Settings]\nRemember=Yes\nFilter=1, 2,3\n", "Yes", "1,2,3"},
      {"over a megabyte", "[Settings]\nRemember=Yes\nFilter=" + QByteArray(1 << 20, '9'), "", ""},
  };
  QDir().mkpath(QFileInfo(settingsFile()).path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    QFile file(settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(c.bytes) == c.bytes.size());
    file.close();
    EXPECT_EQ(get("Remember"), c.remember);
    EXPECT_EQ(get("Filter"), c.filter);
    for (const char* key : {"StartPath", "ConfirmRename", "ConfirmDelete", "CommandFullSize"})
      EXPECT_EQ(raisedError([&] { put(key, key); }), 0) << key;
    for (const char* key : {"StartPath", "ConfirmRename", "ConfirmDelete", "CommandFullSize"})
      EXPECT_EQ(get(key), key);
    EXPECT_EQ(get("Remember"), c.remember);
    EXPECT_EQ(get("Filter"), c.filter);
    EXPECT_EQ(QSettings(settingsFile(), QSettings::IniFormat).status(), QSettings::NoError);
  }
}

// No read waits on a FIFO or a device, whatever the name leads to; a write
// goes through a link to a regular file only, and the link stays; a store
// that may not be written keeps its file.
TEST_F(SettingsStore, ReadingNeverBlocksAndOnlyAWritableRegularFileIsWritten) {
  const QString real = writeFile("real.ini", "[Settings]\nRemember=Yes\n");
  const QString copy = writeFile("copy.ini", "[Settings]\nRemember=Yes\n");
  const QString settingsFolder = QFileInfo(settingsFile()).path();
  const struct {
    const char* label;
    std::function<bool(const QString&)> make;
    bool reads, writes;
  } cases[] = {
      {"a FIFO", [](const QString& at) { return makeFifo(at); }, false, false},
      {"a folder", [](const QString& at) { return QDir().mkdir(at); }, false, false},
      {"a link to a regular file", [&](const QString& at) { return QFile::link(real, at); }, true, true},
      {"a link to a FIFO", [&](const QString& at) { return makeFifo(pathOf("fifo")) && QFile::link(pathOf("fifo"), at); },
       false, false},
      {"a link to a device", [](const QString& at) { return QFile::link("/dev/zero", at); }, false, false},
      {"a link to nothing", [&](const QString& at) { return QFile::link(pathOf("nothing.ini"), at); }, false, false},
      {"a file in a folder that may not be written",
       [&](const QString& at) {
         return QFile::copy(copy, at) && QFile::setPermissions(at, QFile::ReadOwner) &&
                QFile::setPermissions(settingsFolder, QFile::ReadOwner | QFile::ExeOwner);
       },
       true, false},
  };
  QDir().mkpath(settingsFolder);
  PermissionBitsApply asUser;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (!c.writes && c.reads && !asUser.active()) continue;  // permission bits cannot be made to apply here
    QDir(settingsFile()).removeRecursively();
    QFile::remove(settingsFile());
    ASSERT_TRUE(c.make(settingsFile()));
    const QFileInfo before(settingsFile());
    EXPECT_EQ(get("Remember"), c.reads ? "Yes" : "");
    EXPECT_EQ(raisedError([] { put("Filter", "2"); }) == 0, c.writes);
    const QFileInfo after(settingsFile());
    EXPECT_EQ(after.isSymLink(), before.isSymLink());
    EXPECT_EQ(after.symLinkTarget(), before.symLinkTarget());
    EXPECT_EQ(after.isFile(), before.isFile());
    EXPECT_FALSE(QFile::exists(pathOf("nothing.ini")));
    EXPECT_EQ(get("Filter"), c.writes ? "2" : "");
  }
  QFile::setPermissions(settingsFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_EQ(contentsOf(real), "[Settings]\nRemember=Yes\nFilter=2\n");
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
