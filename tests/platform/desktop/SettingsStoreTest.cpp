// The settings store; the settings dialog covers deleting the section.
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
  void SetUp() override {
    FreshProgram::SetUp();
    QDir().mkpath(QFileInfo(settingsFile()).path());
  }
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
  EXPECT_EQ(get("startpath"), QString()) << "keys are matched exactly";
}

// What makes sense in a damaged file is read, and the next writes keep it in
// a file without the damage. No read waits on a FIFO, and none is written;
// a write goes through a link to a regular file, and the link stays.
TEST_F(SettingsStore, ReadsWhatMakesSenseAndWritesOnlyARegularFileWhole) {
  const auto holding = [](const QByteArray& bytes) {
    return [bytes](const QString& at) {
      QFile file(at);
      return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
  };
  const QString real = writeFile("real.ini", "[Settings]\nRemember=Yes\n");
  const struct {
    const char* label;
    std::function<bool(const QString&)> make;
    const char *remember, *filter;
    bool writes = true;
  } cases[] = {
      {"a # line", holding("[Settings]\n# notes\nRemember=Yes\nFilter=3\n"), "Yes", "3"},
      {"binary junk",
       holding(QByteArray("\x00\xff\xfe[Settings\n\x01\x02\n", 16) + "[Settings]\nRemember=Yes\n\x7f\x80\nFilter=3"), "Yes",
       "3"},
      {"a quote left open", holding("[Settings]\nRemember=Yes\nFilter=3\nStartPath=\"/open"), "Yes", "3"},
      {"a value with commas", holding("[Settings]\nRemember=Yes\nFilter=1, 2,3\n"), "Yes", "1,2,3"},
      {"over a megabyte", holding("[Settings]\nRemember=Yes\nFilter=" + QByteArray(1 << 20, '9')), "", ""},
      {"a link to a regular file", [&](const QString& at) { return QFile::link(real, at); }, "Yes", ""},
      {"a FIFO", [](const QString& at) { return makeFifo(at); }, "", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    QFile::remove(settingsFile());
    ASSERT_TRUE(c.make(settingsFile()));
    const bool link = QFileInfo(settingsFile()).isSymLink();
    EXPECT_EQ(get("Remember"), c.remember);
    for (const char* key : {"StartPath", "ConfirmRename"}) EXPECT_EQ(raisedError([&] { put(key, key); }) == 0, c.writes);
    for (const char* key : {"StartPath", "ConfirmRename"}) EXPECT_EQ(get(key), c.writes ? key : "");
    EXPECT_EQ(get("Remember"), c.remember);
    EXPECT_EQ(get("Filter"), c.filter);
    EXPECT_EQ(QFileInfo(settingsFile()).isSymLink(), link);
    EXPECT_TRUE(!c.writes || QSettings(settingsFile(), QSettings::IniFormat).status() == QSettings::NoError);
  }
  EXPECT_EQ(contentsOf(real), "[Settings]\nRemember=Yes\nStartPath=StartPath\nConfirmRename=ConfirmRename\n");
}

// Decimal text, blanks around it, halves rounded to even, within 16 bits.
TEST(TextToNumber, ConvertsDecimalTextRoundingHalvesToEven) {
  constexpr int Mismatch = errors::TypeMismatch, Overflow = errors::Overflow;
  const struct {
    const char* text;
    int value, error;
  } cases[] = {
      {"-1", -1, 0},        {" 5 ", 5, 0},          {"\t+7", 7, 0},        {"2.5", 2, 0},
      {"3.5", 4, 0},        {".5", 0, 0},           {"5.", 5, 0},          {"-32768", -32768, 0},
      {"32767.4", 32767, 0}, {"", 0, Mismatch},     {"1 2", 0, Mismatch},  {"1e3", 0, Mismatch},
      {"0x10", 0, Mismatch}, {"--1", 0, Mismatch},  {"32767.5", 0, Overflow}, {"-32769", 0, Overflow},
      {"99999999999999999999999", 0, Overflow},
  };
  for (const auto& c : cases) {
    int result = 0;
    EXPECT_EQ(raisedError([&] { result = textToInt16(QString::fromLatin1(c.text)); }), c.error) << '"' << c.text << '"';
    EXPECT_EQ(result, c.value) << '"' << c.text << '"';
  }
}

}  // namespace
