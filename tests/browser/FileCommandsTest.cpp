// The file commands on the current file: opening it in its program,
// renaming, deleting and "Save As BMP...".

#include "browser/BrowserDriver.h"
#include "platform/desktop/FileNames.h"
#include "platform/desktop/MODULE_Win32Api.h"
#include "platform/pictures/Picture.h"
#include "startup/MODULE_Public.h"
#include "support/FileKinds.h"
#include "support/TestDesktop.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QUrl>

#include <functional>
#include <grp.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace platform::msgbox;

class FileCommands : public BrowserTest {
 protected:
  // The browser with photo.jpg previewed, other.jpg beside it.
  FORM_Tavlo& browserOnPhoto() const {
    writePicture("photo.jpg", 40, 30);
    writePicture("other.jpg", 40, 30);
    return browserOn("photo.jpg");
  }
  QString here() const { return withSeparator(folder.path()); }
};

// The real start through each kind of desktop entry, for names a shell would
// take apart: the program gets the file whole, as its one argument (a path,
// or a file URI for %U), and the file itself is never run, though it has the
// run bit and its JPEG comment holds commands for a shell.
TEST_F(FileCommands, EveryKindOfDesktopEntryGetsTheFileWholeAndNeverRunsIt) {
  const struct {
    const char *extension, *entry;
    QByteArrayList before, after;  // the arguments around the file
  } entries[] = {{"jpg", "viewer", {}, {}},
                 {"tif", "env", {}, {}},
                 {"webp", "shell", {}, {}},
                 {"tga", "uris", {"--flag"}, {}},
                 {"ppm", "flatpak", {"run", "--branch=1", "--command=tavlo-test-viewer", "org.x.Y", "@@"}, {"@@"}}};
  const QString names[] = {"$(touch pwned) `touch pwned`;it's \"quoted\"", "-leading  blanks \nnew line"};
  const QString pwned = pathOf(QStringLiteral("pwned"));
  const QByteArray commands = "\ntouch " + QFile::encodeName(pwned) + "\n";
  QByteArray picture = contentsOf(testData(QStringLiteral("pillow_hopper.jpg")));
  picture.insert(2, QByteArray("\xFF\xFE\0", 3) + static_cast<char>(commands.size() + 2) + commands);
  MODULE_Public::FilterIndex = 6;  // every file
  FORM_Tavlo& browser = openBrowser();
  platform::seams().programStart = platform::qtSeams().programStart;
  EXPECT_NO_THROW(MODULE_Win32Api::ShellOpen(pathOf("none.desktop"), pathOf("x.jpg"))) << "a failed start is not told";
  QTemporaryDir logs;
  for (const auto& e : entries) {
    for (const QString& name : names) {
      const QString file = name + '.' + e.extension;
      SCOPED_TRACE(file.toStdString());
      const QString path = writeFile(file, picture);
      QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      const QString entry = MODULE_Win32Api::FindAssociatedProgram(path);
      EXPECT_TRUE(entry.endsWith(QStringLiteral("-%1.desktop").arg(QLatin1String(e.entry)))) << entry.toStdString();
      const QString received = logs.filePath(file);
      qputenv("TAVLO_TEST_RECEIVED", QFile::encodeName(received));
      browser.File1.refresh();
      settle();
      clickRow(browser, file);
      QTest::mouseClick(browser.BUTTON_Open.widget(), Qt::LeftButton);
      settle();
      ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(received); }, 20000)) << "the program did not run";
      const QByteArrayList arguments = contentsOf(received).split('\0');
      const qsizetype at = e.before.size();
      ASSERT_EQ(arguments.size(), at + 1 + e.after.size() + 1) << "one argument for the file, and the last NUL";
      EXPECT_EQ(arguments.mid(0, at), e.before);
      EXPECT_EQ(arguments.mid(at + 1, e.after.size()), e.after);
      const QUrl uri = QUrl::fromEncoded(arguments[at]);
      EXPECT_EQ(uri.isLocalFile() ? uri.toLocalFile() : QFile::decodeName(arguments[at]), path);
    }
  }
  EXPECT_FALSE(QFile::exists(pwned));
}

// What is typed, blanks around it trimmed, is the new path: a name without a
// folder stays in the browser's folder, whatever the process's working
// folder. Without a usable answer nothing changes; a rename the system
// refuses is told and changes nothing. A rename that went ahead or was
// refused ends as always: preview empty, list re-read, pointer back.
TEST_F(FileCommands, RenameMovesTheFileWhereTypedOrSaysWhyNot) {
  const QString noFolder = "The file, or a folder on its path, does not exist.";
  const QString noRight = "You do not have permission to change this file or its folder.";
  const struct {
    QString typed;
    std::int16_t confirm;
    int answer;  // to the question; 0 when none is asked
    std::function<void()> meanwhile;
    QString renamedTo, reason;
  } cases[] = {
      {QString(), 1, 0, {}, {}, {}},  // cancelled
      {"   ", 1, 0, {}, {}, {}},
      {here(), 1, 0, {}, {}, {}},  // the text the box starts with
      {here() + "x.jpg", 1, No, {}, {}, {}},
      {"  " + here() + "holiday.jpg  ", 1, Yes, {}, "holiday.jpg", {}},
      {"holiday.jpg", 0, 0, {}, "holiday.jpg", {}},
      {"plain", 1, Yes, {}, "plain", {}},  // no extension: out of the filtered list
      {"sub/moved.jpg", 1, Yes, {}, "sub/moved.jpg", {}},
      {"other.jpg", 0, 0, {}, {}, "A file of that name already exists."},
      {QString(300, QLatin1Char('n')), 0, 0, {}, {}, "The name is too long."},
      {"gone/x.jpg", 0, 0, {}, {}, noFolder},
      {"x.jpg", 0, 0, [this] { QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner); }, {}, noRight},
      {"x.jpg", 0, 0, [this] { QFile::remove(pathOf("photo.jpg")); }, {}, noFolder},
  };
  makeFolder("sub");
  makeFolder("elsewhere");
  PermissionBitsApply ordinaryUser;
  SkippedRows skipped;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    if (skipped.note(c.reason == noRight && !ordinaryUser.active(), c.typed.toStdString())) continue;
    FORM_Tavlo& browser = browserOnPhoto();
    QDir::setCurrent(pathOf("elsewhere"));
    MODULE_Public::ConfirmRename = c.confirm;
    seams.inputBox->calls.clear();
    seams.messageBox->calls.clear();
    seams.inputBox->answers = {c.typed};
    seams.messageBox->answers = {c.answer};
    if (c.meanwhile) c.meanwhile();
    const auto before = snapshot();
    QTest::mouseClick(browser.BUTTON_Rename.widget(), Qt::LeftButton);
    settle();
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    ASSERT_EQ(seams.inputBox->calls.size(), 1u);
    EXPECT_EQ(seams.inputBox->calls[0].prompt, "Enter the new name for this file...\n\n" + here() + "photo.jpg");
    EXPECT_EQ(seams.inputBox->calls[0].title, "Rename");
    EXPECT_EQ(seams.inputBox->calls[0].defaultText, here());
    QStringList shown;
    if (c.answer) shown << message("Are you sure you wish to rename this file : photo.jpg", 36, "Tavlo : Confirm Rename");
    if (!c.reason.isEmpty()) shown << message("Could not rename file : photo.jpg\n\n" + c.reason, 16, "Error Renaming");
    EXPECT_EQ(messagesShown(), shown);
    EXPECT_EQ(rows(browser), QDir(folder.path()).entryList({"*.jpg"}, QDir::Files, QDir::Name));
    if (c.renamedTo.isEmpty()) {
      EXPECT_EQ(snapshot(), before);
    } else {
      EXPECT_EQ(contentsOf(pathOf(c.renamedTo)), before.at("photo.jpg"));
      EXPECT_FALSE(QFile::exists(pathOf("photo.jpg")));
      QFile::remove(pathOf(c.renamedTo));
    }
    const bool done = !c.renamedTo.isEmpty() || !c.reason.isEmpty();
    EXPECT_EQ(browser.IMAGE_Preview.picture().handle() == 0u, done) << "the preview stays without a usable answer";
    if (done) expectEmptyPreview(browser);
  }
  if (!skipped.rows.empty()) GTEST_SKIP() << "cannot give up root's override of permission bits for:" << skipped.rows;
}

// Delete moves the file to the trash, after the question when it is asked.
// Where no trash can take it (GIO has none on a tmpfs) it goes for good only
// after a question, whatever the settings say. A file the user may not
// write is refused; one gone meanwhile is said to be gone. Only a file that
// went empties the preview.
TEST_F(FileCommands, DeleteMovesTheFileToTheTrashOrAsksBeforeDeletingForGood) {
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
  const auto readOnly = [](const QString& path) { QFile::setPermissions(path, QFile::ReadOwner); };
  const FullDisk noTrash(makeFolder("tmpfs"));  // a small tmpfs, not filled
  const bool mounted = noTrash.mounted();
  const QString asked = message("Are you sure you wish to delete this file : photo.jpg", 36, "Tavlo : Confirm Delete");
  const QString forGood =
      message("This file cannot be moved to the trash. Delete it for good? : photo.jpg", 36, "Tavlo : Confirm Delete");
  const QString refused = message("Could not delete file, the file may have READ/SYSTEM attributes.", 16, "Error Deleting");
  const QString gone = message("Could not delete file, the file is no longer there.", 16, "Error Deleting");
  enum End { Kept, Trashed, Deleted };
  const struct {
    const char *what, *photo;
    std::int16_t confirm;
    int answer;
    std::function<void(const QString&)> prepare;
    QStringList shown;
    End end;
    bool needsRoot = false;  // to give the file to another user, in a group given to the process
  } cases[] = {
      {"No to the question", "photo.jpg", 1, No, {}, {asked}, Kept},
      {"Yes", "photo.jpg", 1, Yes, {}, {asked}, Trashed},
      {"a file we may not write", "photo.jpg", 1, Yes, readOnly, {asked, refused}, Kept},
      {"a file gone meanwhile", "photo.jpg", 1, Yes, [](const QString& p) { QFile::remove(p); }, {asked, gone}, Deleted},
      {"another user's file we may write through a supplementary group", "photo.jpg", 1, Yes,
       giveToAnotherUserInAGroupOfOurs, {asked}, Trashed, true},
      {"no trash: No", "tmpfs/photo.jpg", 0, No, {}, {forGood}, Kept},
      {"no trash: a file we may not write", "tmpfs/photo.jpg", 0, Yes, readOnly, {refused}, Kept},
      {"no trash: Yes", "tmpfs/photo.jpg", 0, Yes, {}, {forGood}, Deleted},
  };
  const QString trash = testDesktop().trash;
  SkippedRows skipped;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QString path = pathOf(c.photo), in = QFileInfo(path).path();
    if (skipped.note((in != folder.path() && !mounted) || (c.needsRoot && ::geteuid() != 0), c.what)) continue;
    QDir(trash).removeRecursively();
    QFile::remove(path);
    writePicture(c.photo, 40, 30);
    FORM_Tavlo& browser = openBrowser();
    if (browser.Dir1.path() != in) openFolder(browser, in);
    browser.File1.refresh();
    settle();
    clickRow(browser, "photo.jpg");
    const QByteArray bytes = contentsOf(path);
    if (c.prepare) c.prepare(path);
    const bool there = QFile::exists(path);
    MODULE_Public::ConfirmDelete = c.confirm;
    seams.messageBox->calls.clear();
    seams.messageBox->answers = {c.answer};
    QTest::mouseClick(browser.BUTTON_Delete.widget(), Qt::LeftButton);
    settle();

    EXPECT_EQ(messagesShown(), c.shown);
    EXPECT_EQ(QFile::exists(path), there && c.end == Kept);
    EXPECT_EQ(contentsOf(trash + "/files/photo.jpg"), c.end == Trashed ? bytes : QByteArray());
    EXPECT_EQ(contentsOf(trash + "/info/photo.jpg.trashinfo").contains("\nPath=" + QFile::encodeName(path)), c.end == Trashed);
    EXPECT_EQ(rows(browser).contains("photo.jpg"), c.end == Kept) << "the list is read anew after a delete";
    EXPECT_EQ(browser.IMAGE_Preview.picture().handle() == 0u, c.end != Kept) << "the preview is cleared after a delete";
  }
  EXPECT_TRUE(!mounted || QDir(pathOf("tmpfs")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
      << "no trash made on a volume without one";
  if (!skipped.rows.empty()) GTEST_SKIP() << "rows that need root, to mount a tmpfs or give a file away:" << skipped.rows;
}

// A name with a byte that is no UTF-8 shows as the desktop shows it, like a
// name holding the replacement character itself, yet stands for its own
// file alone: its row previews, renames and deletes that file and no other,
// in a folder whose name has such a byte too.
TEST_F(FileCommands, ANameWithAStrayByteStandsForItsOwnFileAlone) {
  const QByteArray pictures = QFile::encodeName(makeFolder("pictures")), in = pictures + "\xfe/";
  writePicture("pictures/small.jpg", 30, 20);
  writePicture("pictures/large.jpg", 60, 40);
  const QByteArray stray = "bad\xff.jpg", lookalike = "bad\xef\xbf\xbd.jpg";
  ASSERT_EQ(::rename(pictures + "/small.jpg", pictures + '/' + stray), 0);
  ASSERT_EQ(::rename(pictures + "/large.jpg", pictures + '/' + lookalike), 0);
  ASSERT_EQ(::rename(pictures, in.chopped(1)), 0);
  const auto there = [](const QByteArray& path) { return ::access(path.constData(), F_OK) == 0; };
  const QString strayRow = platform::fileNameText(stray), inText = platform::fileNameText(in);
  MODULE_Public::ConfirmRename = 0;
  MODULE_Public::ConfirmDelete = 0;

  FORM_Tavlo& browser = openBrowser();
  openFolder(browser, inText.chopped(1));
  const QAbstractItemModel* shown = browser.File1.listWidget()->model();
  ASSERT_EQ(shown->rowCount(), 2);
  for (int row = 0; row < 2; ++row) EXPECT_EQ(shown->index(row, 0).data().toString(), QString::fromUtf8(lookalike));
  clickRow(browser, strayRow);
  EXPECT_EQ(browser.LABEL_PixSize.caption(), "30 x 20 pixels");

  const QString shownFolder = platform::displayedName(inText);
  seams.inputBox->answers = {shownFolder + "renamed.jpg"};
  QTest::mouseClick(browser.BUTTON_Rename.widget(), Qt::LeftButton);
  settle();
  ASSERT_EQ(seams.inputBox->calls.size(), 1u);
  EXPECT_EQ(seams.inputBox->calls[0].defaultText, shownFolder);
  EXPECT_TRUE(there(in + "renamed.jpg") && !there(in + stray) && there(in + lookalike));

  ASSERT_EQ(::rename(in + "renamed.jpg", in + stray), 0);
  browser.File1.refresh();
  settle();
  clickRow(browser, strayRow);
  QTest::mouseClick(browser.BUTTON_Delete.widget(), Qt::LeftButton);
  settle();
  EXPECT_EQ(messagesShown(), QStringList());
  EXPECT_TRUE(there(QFile::encodeName(testDesktop().trash) + "/files/" + stray));
  EXPECT_TRUE(!there(in + stray) && there(in + lookalike));
}

class SaveAsBitmap : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    writePicture("photo.jpg", 300, 200);
    writePicture("holiday.old.jpg", 40, 30);
    writePicture("large.jpg", 1200, 800);
    writeFile("notes", "no picture, no full stop");
    writeFile(QString(247, QLatin1Char('l')) + ".jpg", "a name too long to suggest another name from");
    QFile::copy(testData("bmpsuite_g_pal8.bmp"), pathOf("scan.BMP"));  // 8 bits a pixel: rewriting would show
    QFile::copy(testData("pillow_transparent.gif"), pathOf("scan.gif"));
    QFile::copy(testData("bmpsuite_g_pal8.bmp"), pathOf("bitmap.jpg"));  // whatever the name says
    QFile::copy(pathOf("photo.jpg"), pathOf("jpeg.bmp"));
    writeFile("readonly.bmp", "kept");
    QFile::setPermissions(pathOf("readonly.bmp"), QFile::ReadOwner);
    makeFolder("elsewhere");
  }
};

// The save dialog suggests the name up to its first full stop, in the
// browser's folder; cancelled, it changes nothing, and a name too long to
// suggest ends the command without one. A file holding a bitmap is copied
// byte for byte, also onto itself; another picture is written as a new bitmap of its
// pixels and listed, whole also where the preview holds only a reduced copy.
// A write the system refuses is told and leaves every file as it was. A
// save ends as always: preview empty, list re-read, pointer back.
TEST_F(SaveAsBitmap, WritesTheBitmapWhereChosenOrSaysWhyAndChangesNothing) {
  const QString noFolder = "The file, or a folder on its path, does not exist.";
  const QString noRight = "You do not have permission to change this file or its folder.";
  const struct {
    QString row;
    const char* suggested;   // none: no dialog
    QString target, reason;  // no target: the dialog is cancelled
    std::function<void()> meanwhile = {};
  } cases[] = {
      {"holiday.old.jpg", "holiday.bmp", {}, {}},
      {"notes", ".bmp", {}, {}},
      {QString(247, QLatin1Char('l')) + ".jpg", nullptr, "never.bmp", {}},
      {"scan.BMP", "scan.bmp", "elsewhere/copy.bmp", {}},
      {"scan.BMP", "scan.bmp", "scan.BMP", {}},
      {"scan.gif", "scan.bmp", "saved.bmp", {}},
      {"bitmap.jpg", "bitmap.bmp", "copy.bmp", {}},
      {"jpeg.bmp", "jpeg.bmp", "saved.bmp", {}},
      {"large.jpg", "large.bmp", "large.bmp", {}},
      {"photo.jpg", "photo.bmp", "missing/saved.bmp", noFolder},
      {"photo.jpg", "photo.bmp", "readonly.bmp", noRight},
      {"photo.jpg", "photo.bmp", QString(300, QLatin1Char('n')) + ".bmp", "The name is too long."},
      {"scan.BMP", "scan.bmp", "saved.bmp", noFolder, [this] { QFile::remove(pathOf("scan.BMP")); }},
  };
  PermissionBitsApply ordinaryUser;
  SkippedRows skipped;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row.toStdString() + " to " + c.target.toStdString());
    if (skipped.note(c.reason == noRight && !ordinaryUser.active(), c.target.toStdString())) continue;
    FORM_Tavlo& browser = browserOn(c.row, 6);
    if (c.meanwhile) c.meanwhile();
    const std::uint64_t shown = browser.IMAGE_Preview.picture().handle();
    const QByteArray source = contentsOf(pathOf(c.row));
    const auto before = snapshot();
    seams.messageBox->calls.clear();
    seams.fileDialog->requests.clear();
    seams.fileDialog->answers = {c.target.isEmpty() ? QString() : "  " + pathOf(c.target) + "  "};  // blanks trimmed
    browser.SaveAsBitmap();
    settle();

    ASSERT_EQ(seams.fileDialog->requests.size(), c.suggested ? 1u : 0u);
    if (c.suggested) {
      const platform::FileDialogRequest& asked = seams.fileDialog->requests.front();
      EXPECT_TRUE(asked.mode == platform::FileDialogRequest::Mode::Save && asked.owner == &browser);
      EXPECT_EQ(QStringList({asked.title, asked.initialFolder, asked.suggestedName, asked.defaultExtension}) + asked.filters,
                QStringList({"Save As BMP", withSeparator(folder.path()), c.suggested, "bmp", "Bitmap (*.BMP) (*.bmp)"}));
    }
    if (!c.suggested || c.target.isEmpty()) {
      EXPECT_EQ(browser.IMAGE_Preview.picture().handle(), shown);
      EXPECT_EQ(browser.File1.list(browser.File1.listIndex()), c.row);
      EXPECT_EQ(snapshot(), before);
      continue;
    }
    if (!c.reason.isEmpty()) {
      EXPECT_EQ(messagesShown(), QStringList{message("Could not save file : " + pathOf(c.target) + "\n\n" + c.reason, 16,
                                                     "Error Saving")});
      EXPECT_EQ(snapshot(), before);
    } else if (source.startsWith("BM")) {
      EXPECT_EQ(contentsOf(pathOf(c.target)), source);
    } else {
      EXPECT_TRUE(contentsOf(pathOf(c.target)).startsWith("BM"));
      EXPECT_EQ(platform::Picture::load(pathOf(c.target)).image().convertToFormat(QImage::Format_ARGB32),
                platform::Picture::load(pathOf(c.row)).image().convertToFormat(QImage::Format_ARGB32));
      EXPECT_TRUE(rows(browser).contains(c.target));
    }
    EXPECT_EQ(seams.messageBox->calls.size(), c.reason.isEmpty() ? 0u : 1u);
    EXPECT_EQ(rows(browser).contains("scan.BMP"), QFile::exists(pathOf("scan.BMP")));
    expectEmptyPreview(browser);
  }
  if (!skipped.rows.empty()) GTEST_SKIP() << "cannot give up root's override of permission bits for:" << skipped.rows;
}

}  // namespace
