// Renaming and deleting the current file through the browser's buttons.

#include "browser/BrowserDriver.h"
#include "platform/desktop/Screen.h"
#include "startup/MODULE_Public.h"

#include "support/FileKinds.h"

#include <QFile>

#include <functional>

namespace {

class FileCommands : public BrowserTest {
 protected:
  FORM_Tavlo& browserOnPhoto() {
    writePicture("photo.jpg", 40, 30);
    writePicture("other.jpg", 40, 30);
    FORM_Tavlo& browser = openBrowser();
    browser.File1.refresh();
    clickRow(browser, "photo.jpg");
    EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u);
    return browser;
  }
  QString here() const { return withSeparator(folder.path()); }
};

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

// What is typed, blanks around it trimmed, is the new path; a name without
// a folder stays in the browser's folder, whatever the process's working
// folder.
TEST_F(FileCommands, RenameAsksForTheNewPathAndRenamesAfterConfirming) {
  MODULE_Public::ConfirmRename = 1;
  const struct {
    QString typed, renamedTo;
    QStringList rows;
  } cases[] = {
      {"  " + here() + "holiday.jpg  ", "holiday.jpg", {"holiday.jpg", "other.jpg"}},
      {"holiday.jpg", "holiday.jpg", {"holiday.jpg", "other.jpg"}},
      {"plain", "plain", {"other.jpg"}},  // no extension: out of the filtered list
      {"sub/moved.jpg", "sub/moved.jpg", {"other.jpg"}},
  };
  makeFolder("sub");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    FORM_Tavlo& browser = browserOnPhoto();
    QDir::setCurrent(makeFolder("elsewhere"));
    seams.inputBox->calls.clear();
    seams.messageBox->calls.clear();
    seams.inputBox->answers = {c.typed};
    seams.messageBox->answers = {platform::msgbox::Yes};
    QTest::mouseClick(browser.BUTTON_Rename.widget(), Qt::LeftButton);

    ASSERT_EQ(seams.inputBox->calls.size(), 1u);
    EXPECT_EQ(seams.inputBox->calls[0].prompt, "Enter the new name for this file...\n\n" + here() + "photo.jpg");
    EXPECT_EQ(seams.inputBox->calls[0].title, "Rename");
    EXPECT_EQ(seams.inputBox->calls[0].defaultText, here());
    expectOneMessage("Are you sure you wish to rename this file : photo.jpg", 36, "Tavlo : Confirm Rename");
    EXPECT_TRUE(QFile::exists(pathOf(c.renamedTo)));
    EXPECT_FALSE(QFile::exists(pathOf("photo.jpg")));
    EXPECT_EQ(rows(browser), c.rows);
    EXPECT_EQ(browser.File1.listIndex(), -1);
    expectEmptyPreview(browser);
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
    QFile::remove(pathOf(c.renamedTo));
  }
}

// A rename the system refuses is told; the file keeps its name, and the
// command ends as always: preview empty, list re-read, pointer back.
TEST_F(FileCommands, ARefusedRenameSaysWhyAndEndsAsAlways) {
  MODULE_Public::ConfirmRename = 0;
  const struct {
    const char* label;
    QString typed;
    std::function<void()> meanwhile;
    QString reason;
  } cases[] = {
      {"a file of that name", "other.jpg", [] {}, "A file of that name already exists."},
      {"a name too long", QString(300, QLatin1Char('n')), [] {}, "The name is too long."},
      {"a folder that is gone", "gone/x.jpg", [] {}, "The file, or a folder on its path, does not exist."},
      {"a folder that may not be written", "x.jpg",
       [&] { QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner); },
       "You do not have permission to change this file or its folder."},
      {"the file vanished", "x.jpg", [&] { QFile::remove(pathOf("photo.jpg")); },
       "The file, or a folder on its path, does not exist."},
  };
  PermissionBitsApply ordinaryUser;
  if (!ordinaryUser.active()) GTEST_SKIP() << "cannot give up root's override of permission bits";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FORM_Tavlo& browser = browserOnPhoto();
    const QByteArray otherBytes = contentsOf(pathOf("other.jpg"));
    seams.messageBox->calls.clear();
    seams.inputBox->answers = {c.typed};
    c.meanwhile();
    browser.BUTTON_Rename.press();
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    expectOneMessage("Could not rename file : photo.jpg\n\n" + c.reason, 16, "Error Renaming");
    EXPECT_FALSE(QFile::exists(pathOf("x.jpg")));
    EXPECT_EQ(contentsOf(pathOf("other.jpg")), otherBytes);
    EXPECT_EQ(rows(browser).contains("photo.jpg"), QFile::exists(pathOf("photo.jpg")));
    expectEmptyPreview(browser);
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
  }
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
