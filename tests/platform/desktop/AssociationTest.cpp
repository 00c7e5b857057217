#include "platform/desktop/MODULE_Win32Api.h"
#include "platform/desktop/RuntimeError.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/TestDesktop.h"

#include <QFile>

#include <optional>

using namespace MODULE_Win32Api;

namespace {

class Association : public FreshProgram {
 protected:
  void SetUp() override {
    FreshProgram::SetUp();
    viewer = testDesktop().viewer;
  }

  static QByteArray jpegBytes() {
    QFile file(testData(QStringLiteral("pillow_hopper.jpg")));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
  }

  QString viewer;
};

// Found and not found alternate, so that a result code left over from the
// call before shows.
TEST_F(Association, FindsTheDefaultProgramOfTheTypeByNameOrByContent) {
  const struct {
    const char* name;
    std::optional<QByteArray> bytes;  // none: the file does not exist
    bool found;
    const char* label;
  } cases[] = {
      {"photo.jpg", jpegBytes(), true, "JPEG by its name"},
      {"notes.xyz", QByteArray("plain words\n"), false, "a type without a program"},
      {"photo", jpegBytes(), true, "JPEG by its bytes, the name says nothing"},
      {"missing.jpg", std::nullopt, false, "no such file"},
      {"sketch.jpg", QByteArray("not a picture at all\n"), true, "the name wins over the bytes"},
      {"picture.png", QByteArray("\x89PNG\r\n\x1a\n", 8), false, "default program not installed"},
      {"empty", QByteArray(), false, "no name, no bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const QString name = QString::fromLatin1(c.name);
    const QString path = c.bytes ? writeFile(name, *c.bytes) : pathOf(name);
    const QString program = FindAssociatedProgram(path);
    if (c.found) {
      EXPECT_EQ(program, viewer);
      EXPECT_GT(FindExeResult, 32);
    } else {
      EXPECT_EQ(program, QString());
      EXPECT_LE(FindExeResult, 32);
    }
  }
}

// A FIFO without a writer is never opened for its bytes: the lookup returns.
TEST_F(Association, NeverWaitsOnAFileThatIsNotRegular) {
  ASSERT_TRUE(makeFifo(pathOf(QStringLiteral("stream"))));
  EXPECT_EQ(FindAssociatedProgram(pathOf(QStringLiteral("stream"))), QString());
  EXPECT_LE(FindExeResult, 32);
}

TEST_F(Association, ShellOpenHandsOnTheParametersAndTheShowModeOfTheStyle) {
  const struct {
    std::optional<QString> parameters, style;
    QString passedParameters;
    int showMode;
  } cases[] = {
      {std::nullopt, std::nullopt, QString(), 1},
      {QStringLiteral("/pictures/my photo.jpg"), std::nullopt, QStringLiteral("/pictures/my photo.jpg"), 1},
      {std::nullopt, QStringLiteral("min"), QString(), 2},
      {std::nullopt, QStringLiteral("Minimised"), QString(), 2},
      {std::nullopt, QStringLiteral("MINIMIZED"), QString(), 2},
      {std::nullopt, QStringLiteral("mi"), QString(), 3},
      {std::nullopt, QStringLiteral(" min"), QString(), 3},
      {std::nullopt, QString(), QString(), 3},
      {std::nullopt, QStringLiteral("Maximized"), QString(), 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style.value_or(QStringLiteral("<no style>")).toStdString());
    seams.programStart->starts.clear();
    ShellOpen(QStringLiteral("/usr/bin/viewer"), c.parameters, c.style);
    ASSERT_EQ(seams.programStart->starts.size(), 1u);
    EXPECT_EQ(seams.programStart->starts[0].program, QStringLiteral("/usr/bin/viewer"));
    EXPECT_EQ(seams.programStart->starts[0].parameters, c.passedParameters);
    EXPECT_EQ(seams.programStart->starts[0].showMode, c.showMode);
  }
}

TEST(StripNulls, CutsAtTheFirstNul) {
  const struct {
    QString text, cut;
  } cases[] = {
      {QStringLiteral("/usr/bin/viewer"), QStringLiteral("/usr/bin/viewer")},
      {QString::fromUtf16(u"ab\0cd", 5), QStringLiteral("ab")},
      {QString::fromUtf16(u"a\0b\0", 4), QStringLiteral("a")},
      {QString::fromUtf16(u"\0abc", 4), QString()},
      {QString(), QString()},
  };
  for (const auto& c : cases) EXPECT_EQ(StripNull(c.text), c.cut) << c.text.size();
}

}  // namespace
