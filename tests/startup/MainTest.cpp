// Starting the program: the settings first, then the browser for any command
// line that is not a picture; closing the browser ends the run.

#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_Settings.h"
#include "platform/desktop/CommandLine.h"
#include "platform/forms/Form.h"
#include "startup/MODULE_Command.h"
#include "startup/MODULE_Public.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "viewer/FORM_MiniTavlo.h"

#include <QFile>
#include <QTest>

namespace {

using platform::DefaultInstance;

class MainStart : public FreshProgram, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    FreshProgram::SetUp();
    writeFile("notes.txt", "not a picture\n");
    makeFolder("a folder");
    writePicture("with blank.bmp", 8, 8);
    writeFile("empty.jpg", QByteArray());
    ASSERT_TRUE(makeFifo(pathOf("pipe.jpg")));
  }

  // The test's folder stands for "$".
  QString commandLine() const { return QString::fromUtf8(GetParam()).replace('$', folder.path()); }
};

TEST_P(MainStart, OpensTheBrowserAfterLoadingTheSettings) {
  // Left over from nothing: the settings' load empties it before the browser reads it.
  MODULE_Public::StartPath = makeFolder("elsewhere");
  platform::setCommandLine(commandLine());
  MODULE_Command::Main();

  ASSERT_TRUE(DefaultInstance<FORM_Tavlo>::exists());
  FORM_Tavlo& browser = DefaultInstance<FORM_Tavlo>::get();
  EXPECT_TRUE(browser.isVisible());
  EXPECT_EQ(browser.Dir1.path(), folder.path());
  EXPECT_TRUE(DefaultInstance<FORM_Settings>::exists() && DefaultInstance<FORM_Settings>::get().isLoaded());
  EXPECT_TRUE(seams.messageBox->calls.empty());
  EXPECT_TRUE(seams.processExit->exits.empty());
}

INSTANTIATE_TEST_SUITE_P(CommandLine, MainStart,
                         ::testing::Values("", "$/missing.bmp", "$/a folder", "\"$/with blank.bmp\"", "$/notes.txt",
                                           "$/with blank.bmp $/notes.txt", "$/empty.jpg", "$/pipe.jpg",
                                           "/dev/zero"));

TEST_F(FreshProgram, AnUnreadablePictureOnTheCommandLineOpensTheBrowser) {
  const QString picture = writePicture("locked.bmp", 8, 8);
  QFile::setPermissions(picture, QFileDevice::WriteOwner);
  PermissionBitsApply asUser;
  if (!asUser.active()) GTEST_SKIP() << "permission bits cannot be made to apply here";
  platform::setCommandLine(picture);
  MODULE_Command::Main();
  EXPECT_FALSE(DefaultInstance<FORM_MiniTavlo>::exists());
  ASSERT_TRUE(DefaultInstance<FORM_Tavlo>::exists());
  EXPECT_TRUE(DefaultInstance<FORM_Tavlo>::get().isVisible());
}

TEST_F(FreshProgram, APictureOnTheCommandLineOpensAloneInTheViewer) {
  platform::setCommandLine(writePicture("with blank.bmp", 300, 150));
  MODULE_Command::Main();
  ASSERT_TRUE(DefaultInstance<FORM_MiniTavlo>::exists());
  FORM_MiniTavlo& viewer = DefaultInstance<FORM_MiniTavlo>::get();
  EXPECT_TRUE(viewer.isVisible());
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.width(), 300 * 15) << "at its own size by default";
  EXPECT_FALSE(DefaultInstance<FORM_Tavlo>::exists());

  // A left click closes it and ends the run; the browser never existed.
  QTest::mouseClick(viewer.IMAGE_MiniPreview.widget(), Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(seams.processExit->exits.size(), 1u);
  EXPECT_FALSE(DefaultInstance<FORM_Tavlo>::exists());
}

TEST(JoinArguments, JoinsWithSingleBlanksAndKeepsEverythingElse) {
  const struct {
    QStringList arguments;
    const char* commandLine;
  } cases[] = {
      {{}, ""},
      {{"a b", "c"}, "a b c"},
      {{"\"quoted path\""}, "\"quoted path\""},
      {{" padded ", "", "x"}, " padded   x"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::joinArguments(c.arguments), QString::fromUtf8(c.commandLine));
}

}  // namespace
