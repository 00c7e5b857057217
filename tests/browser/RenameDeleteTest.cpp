// Renaming and deleting the current file through the browser's buttons.

#include "browser/BrowserDriver.h"
#include "platform/desktop/Screen.h"
#include "startup/MODULE_Public.h"
#include "support/FileKinds.h"
#include "support/TestDesktop.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <functional>
#include <grp.h>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

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

const QString refusal = "Could not delete file, the file may have READ/SYSTEM attributes.";

// Each case answers the question of "Delete" and meets the file as prepared.
TEST_F(FileCommands, DeleteMovesTheFileToTheTrashOrSaysWhyNot) {
  using namespace platform::msgbox;
  PermissionBitsApply ordinaryUser;
  if (!ordinaryUser.active()) GTEST_SKIP() << "cannot give up root's override of permission bits";
  std::vector<gid_t> groups(static_cast<size_t>(::getgroups(0, nullptr)));
  ::getgroups(static_cast<int>(groups.size()), groups.data());
  const auto restoreGroups = qScopeGuard([&] { ::setgroups(groups.size(), groups.data()); });
  const auto giveToAnotherUserInAGroupOfOurs = [](const QString& path) {
    const gid_t supplementary = 4242;
    ASSERT_EQ(::setgroups(1, &supplementary), 0) << "needs root";
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 4242), 0);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadGroup | QFile::WriteGroup));
  };
  const struct {
    const char* what;
    int answer;
    std::function<void(const QString&)> prepare;
    bool trashed;
  } cases[] = {
      {"No to the question", No, [](const QString&) {}, false},
      {"Yes", Yes, [](const QString&) {}, true},
      {"a file we may not write", Yes, [](const QString& p) { QFile::setPermissions(p, QFile::ReadOwner); }, false},
      {"a file gone meanwhile", Yes, [](const QString& p) { QFile::remove(p); }, false},
      {"another user's file we may write through a supplementary group", Yes, giveToAnotherUserInAGroupOfOurs, true},
  };
  MODULE_Public::ConfirmDelete = 1;
  const QString trash = testDesktop().trash;
  FORM_Tavlo& browser = browserOnPhoto();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QDir(trash).removeRecursively();
    QFile::remove(pathOf("photo.jpg"));
    const QString path = writePicture("photo.jpg", 40, 30);
    const QByteArray bytes = contentsOf(path);
    browser.File1.refresh();
    clickRow(browser, "photo.jpg");
    c.prepare(path);
    seams.messageBox->calls.clear();
    seams.messageBox->answers = {c.answer};
    QTest::mouseClick(browser.BUTTON_Delete.widget(), Qt::LeftButton);

    QStringList prompts;
    for (const auto& call : seams.messageBox->calls) prompts.append(call.prompt);
    const QString question = "Are you sure you wish to delete this file : photo.jpg";
    EXPECT_EQ(prompts, (c.trashed || c.answer == No ? QStringList{question} : QStringList{question, refusal}));
    EXPECT_EQ(seams.messageBox->calls[0].style, 36);
    EXPECT_EQ(seams.messageBox->calls[0].title, "Tavlo : Confirm Delete");
    EXPECT_EQ(contentsOf(trash + "/files/photo.jpg"), c.trashed ? bytes : QByteArray());
    EXPECT_EQ(contentsOf(trash + "/info/photo.jpg.trashinfo").contains("\nPath=" + QFile::encodeName(path)), c.trashed);
    EXPECT_EQ(rows(browser).contains("photo.jpg"), !c.trashed);
    EXPECT_EQ(browser.IMAGE_Preview.picture().handle() == 0u, c.trashed) << "the preview is cleared after a delete";
  }
}

// A tmpfs has no trash for GIO: the file goes for good only after a question,
// whatever the settings say, and a file the user may not write never does.
TEST_F(FileCommands, WhereNoTrashCanTakeTheFileDeleteAsksBeforeDeletingForGood) {
  const QByteArray here = QFile::encodeName(folder.path());
  if (::mount("tmpfs", here.constData(), "tmpfs", 0, "size=4m") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs for a volume without a trash: " << qt_error_string().toStdString();
  const auto unmount = qScopeGuard([&] { ::umount2(here.constData(), MNT_DETACH); });
  QDir::setCurrent(folder.path());
  PermissionBitsApply ordinaryUser;
  if (!ordinaryUser.active()) GTEST_SKIP() << "cannot give up root's override of permission bits";
  MODULE_Public::ConfirmDelete = 0;
  FORM_Tavlo& browser = browserOnPhoto();
  const struct {
    const char* what;
    QFile::Permissions permissions;
    int answer;
    bool asked, deleted;
  } cases[] = {
      {"No", QFile::ReadOwner | QFile::WriteOwner, platform::msgbox::No, true, false},
      {"may not write", QFile::ReadOwner, platform::msgbox::Yes, false, false},
      {"Yes", QFile::ReadOwner | QFile::WriteOwner, platform::msgbox::Yes, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QFile::setPermissions(pathOf("photo.jpg"), c.permissions);
    seams.messageBox->calls.clear();
    seams.messageBox->answers = {c.answer};
    browser.BUTTON_Delete.press();
    const QString question = "This file cannot be moved to the trash. Delete it for good? : photo.jpg";
    expectOneMessage(c.asked ? question : refusal, c.asked ? 36 : 16,
                     c.asked ? "Tavlo : Confirm Delete" : "Error Deleting");
    EXPECT_EQ(QFile::exists(pathOf("photo.jpg")), !c.deleted);
  }
  EXPECT_EQ(rows(browser), QStringList({"other.jpg"}));
  EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList({"other.jpg"}))
      << "no trash made on the volume";
}

}  // namespace
