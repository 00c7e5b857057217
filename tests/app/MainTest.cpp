// Starting the program: the settings first, then the browser for any command
// line that is not a picture; closing the browser ends the run.

#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_Settings.h"
#include "platform/desktop/CommandLine.h"
#include "platform/forms/Form.h"
#include "app/MODULE_Command.h"
#include "startup/MODULE_Public.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "viewer/FORM_MiniTavlo.h"

#include <QTest>

namespace {

using platform::DefaultInstance;

class MainStart : public FreshProgram, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    FreshProgram::SetUp();
    writeFile("notes.txt", "not a picture\n");
    writePicture("with blank.bmp", 8, 8);
    ASSERT_TRUE(makeFifo(pathOf("pipe.jpg")));
  }
};

TEST_P(MainStart, OpensTheBrowserAfterLoadingTheSettings) {
  // The test's folder stands for "$".
  const QString commandLine = QString::fromUtf8(GetParam()).replace('$', folder.path());
  // Left over from nothing: the settings' load empties it before the browser reads it.
  MODULE_Public::StartPath = makeFolder("elsewhere");
  platform::setCommandLine(commandLine);
  MODULE_Command::Main();
  settle();

  EXPECT_FALSE(DefaultInstance<FORM_MiniTavlo>::exists());
  ASSERT_TRUE(DefaultInstance<FORM_Tavlo>::exists() && DefaultInstance<FORM_Tavlo>::get().isVisible());
  EXPECT_EQ(DefaultInstance<FORM_Tavlo>::get().Dir1.path(), folder.path());
  EXPECT_TRUE(DefaultInstance<FORM_Settings>::exists() && DefaultInstance<FORM_Settings>::get().isLoaded());
  EXPECT_TRUE(seams.messageBox->calls.empty());
}

// No file, a file named in quotes or with another after it, no picture
// and no regular file. (No command line: the settings' tests; every way a
// picture fails to load ends the viewer's load alike, PictureLoad.)
INSTANTIATE_TEST_SUITE_P(CommandLine, MainStart,
                         ::testing::Values("$/missing.bmp", "\"$/with blank.bmp\"", "$/with blank.bmp $/notes.txt",
                                           "$/notes.txt", "$/pipe.jpg", "/dev/zero"));

TEST_F(FreshProgram, APictureOnTheCommandLineOpensAloneInTheViewer) {
  platform::setCommandLine(writePicture("with blank.bmp", 300, 150));
  MODULE_Command::Main();
  settle();
  ASSERT_TRUE(DefaultInstance<FORM_MiniTavlo>::exists() && DefaultInstance<FORM_MiniTavlo>::get().isVisible());
  // A left click closes it and ends the run; the browser never existed.
  QTest::mouseClick(DefaultInstance<FORM_MiniTavlo>::get().IMAGE_MiniPreview.widget(), Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(seams.processExit->exits.size(), 1u);
  EXPECT_FALSE(DefaultInstance<FORM_Tavlo>::exists());
}

}  // namespace
