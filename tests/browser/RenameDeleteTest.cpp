// Renaming and deleting the current file through the browser's buttons.

#include "browser/BrowserDriver.h"
#include "platform/desktop/Screen.h"
#include "startup/MODULE_Public.h"

#include <QFile>

namespace {

class FileCommands : public BrowserTest {
 protected:
  FORM_Tavlo& browserOnPhoto() {
    writePicture("photo.jpg", 40, 30);
    writePicture("other.jpg", 40, 30);
    FORM_Tavlo& browser = openBrowser();
    clickRow(browser, "photo.jpg");
    EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u);
    return browser;
  }
  QString here() const { return withSeparator(folder.path()); }
};

TEST_F(FileCommands, RenameAsksForTheNewPathAndRenamesAfterConfirming) {
  MODULE_Public::ConfirmRename = 1;
  FORM_Tavlo& browser = browserOnPhoto();
  seams.inputBox->answers = {"  " + here() + "holiday.jpg  "};
  seams.messageBox->answers = {platform::msgbox::Yes};
  QTest::mouseClick(browser.BUTTON_Rename.widget(), Qt::LeftButton);

  ASSERT_EQ(seams.inputBox->calls.size(), 1u);
  EXPECT_EQ(seams.inputBox->calls[0].prompt, "Enter the new name for this file...\n\n" + here() + "photo.jpg");
  EXPECT_EQ(seams.inputBox->calls[0].title, "Rename");
  EXPECT_EQ(seams.inputBox->calls[0].defaultText, here());
  expectOneMessage("Are you sure you wish to rename this file : photo.jpg", 36, "Tavlo : Confirm Rename");
  EXPECT_TRUE(QFile::exists(pathOf("holiday.jpg")));
  EXPECT_FALSE(QFile::exists(pathOf("photo.jpg")));
  EXPECT_EQ(rows(browser), QStringList({"holiday.jpg", "other.jpg"}));
  EXPECT_EQ(browser.File1.listIndex(), -1);
  expectEmptyPreview(browser);
  EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
}

TEST_F(FileCommands, RenameChangesNothingWithoutAUsableAnswer) {
  MODULE_Public::ConfirmRename = 1;
  struct Case {
    const char* what;
    QString typed;
    int confirmation;
  };
  FORM_Tavlo& browser = browserOnPhoto();
  for (const Case& c : {Case{"cancel", QString(), 0}, Case{"blanks", "   ", 0}, Case{"the default", here(), 0},
                        Case{"No to the question", here() + "x.jpg", platform::msgbox::No}}) {
    SCOPED_TRACE(c.what);
    seams.inputBox->answers = {c.typed};
    if (c.confirmation) seams.messageBox->answers = {c.confirmation};
    browser.BUTTON_Rename.press();
    EXPECT_EQ(rows(browser), QStringList({"other.jpg", "photo.jpg"}));
    EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u) << "the preview stays";
  }
}

TEST_F(FileCommands, RenameNeverReplacesAnExistingFile) {
  MODULE_Public::ConfirmRename = 0;
  FORM_Tavlo& browser = browserOnPhoto();
  const QByteArray otherBytes = contentsOf(pathOf("other.jpg"));
  seams.inputBox->answers = {here() + "other.jpg"};
  browser.BUTTON_Rename.press();
  EXPECT_TRUE(seams.messageBox->calls.empty()) << "no question and no message";
  EXPECT_TRUE(QFile::exists(pathOf("photo.jpg")));
  EXPECT_EQ(contentsOf(pathOf("other.jpg")), otherBytes);
  expectEmptyPreview(browser);
}

TEST_F(FileCommands, ANameWithoutExtensionDropsOutOfAFilteredList) {
  MODULE_Public::ConfirmRename = 0;
  FORM_Tavlo& browser = browserOnPhoto();
  seams.inputBox->answers = {here() + "plain"};
  browser.MENUOPT_Rename.choose();
  EXPECT_TRUE(QFile::exists(pathOf("plain")));
  EXPECT_EQ(rows(browser), QStringList({"other.jpg"}));
}

TEST_F(FileCommands, DeleteAsksThenRemovesTheFileForGood) {
  MODULE_Public::ConfirmDelete = 1;
  FORM_Tavlo& browser = browserOnPhoto();
  seams.messageBox->answers = {platform::msgbox::No};
  QTest::mouseClick(browser.BUTTON_Delete.widget(), Qt::LeftButton);
  EXPECT_TRUE(QFile::exists(pathOf("photo.jpg")));
  expectOneMessage("Are you sure you wish to delete this file : photo.jpg", 36, "Tavlo : Confirm Delete");
  EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u);

  seams.messageBox->answers = {platform::msgbox::Yes};
  QTest::mouseClick(browser.BUTTON_Delete.widget(), Qt::LeftButton);
  EXPECT_FALSE(QFile::exists(pathOf("photo.jpg")));
  EXPECT_EQ(rows(browser), QStringList({"other.jpg"}));
  expectEmptyPreview(browser);
}

TEST_F(FileCommands, ARefusedDeleteSaysSoAndLeavesThePreview) {
  MODULE_Public::ConfirmDelete = 0;
  FORM_Tavlo& browser = browserOnPhoto();
  ASSERT_TRUE(QFile::setPermissions(pathOf("photo.jpg"), QFile::ReadOwner));
  browser.MENUOPT_Delete.choose();
  EXPECT_TRUE(QFile::exists(pathOf("photo.jpg")));
  expectOneMessage("Could not delete file, the file may have READ/SYSTEM attributes.", 16, "Error Deleting");
  EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u);

  // Gone meanwhile: the same message.
  QFile::setPermissions(pathOf("photo.jpg"), QFile::ReadOwner | QFile::WriteOwner);
  QFile::remove(pathOf("photo.jpg"));
  browser.BUTTON_Delete.press();
  EXPECT_EQ(seams.messageBox->calls.size(), 2u);
}

}  // namespace
