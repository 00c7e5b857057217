// "Save As BMP...": the save dialog as asked, bitmap files copied, other
// pictures written as new bitmaps, and the pane emptied afterwards.

#include "browser/BrowserDriver.h"
#include "platform/desktop/Screen.h"
#include "platform/pictures/Picture.h"
#include "startup/MODULE_Public.h"
#include "support/FileKinds.h"

#include <QFile>

#include <functional>

namespace {

using platform::FileDialogRequest;
using platform::Picture;

class SaveAsBitmap : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    writePicture("photo.jpg", 300, 200);
    writePicture("holiday.old.jpg", 40, 30);
    writeFile("notes", "no picture, no full stop");
    writeFile(QString(246, QLatin1Char('l')) + ".jpg", "the longest name that suggests a name");
    writeFile(QString(247, QLatin1Char('l')) + ".jpg", "one character more");
    QFile::copy(testData("bmpsuite_g_pal8.bmp"), pathOf("scan.BMP"));  // 8 bits a pixel: rewriting would show
    QFile::copy(testData("pillow_transparent.gif"), pathOf("scan.gif"));
    makeFolder("elsewhere");
  }

  // Opens the browser listing every file and previews the row.
  FORM_Tavlo& browserOn(const QString& name) {
    FORM_Tavlo& browser = openBrowser();
    chooseFilter(browser, 6);
    clickRow(browser, name);
    return browser;
  }
};

TEST_F(SaveAsBitmap, SuggestsTheBaseNameInTheBrowsersFolderAndCancelChangesNothing) {
  const struct {
    QString row, suggested;
  } cases[] = {
      {"photo.jpg", "photo.bmp"},
      {"holiday.old.jpg", "holiday.bmp"},
      {"notes", ".bmp"},
      {QString(246, QLatin1Char('l')) + ".jpg", QString(246, QLatin1Char('l')) + ".bmp"},
  };
  const auto before = snapshot();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row.toStdString());
    FORM_Tavlo& browser = browserOn(c.row);
    const std::uint64_t shown = browser.IMAGE_Preview.picture().handle();
    const QString pixelSize = browser.LABEL_PixSize.caption();
    seams.fileDialog->requests.clear();
    browser.SaveAsBitmap();  // the fake dialog is cancelled

    ASSERT_EQ(seams.fileDialog->requests.size(), 1u);
    const FileDialogRequest& asked = seams.fileDialog->requests.front();
    EXPECT_EQ(asked.mode, FileDialogRequest::Mode::Save);
    EXPECT_EQ(asked.owner, &browser);
    EXPECT_EQ(asked.title, "Save As BMP");
    EXPECT_EQ(asked.initialFolder, withSeparator(folder.path()));
    EXPECT_EQ(asked.suggestedName, c.suggested);
    EXPECT_EQ(asked.filters, QStringList{"Bitmap (*.BMP) (*.bmp)"});
    EXPECT_EQ(asked.defaultExtension, "bmp");

    EXPECT_EQ(browser.IMAGE_Preview.picture().handle(), shown);
    EXPECT_EQ(browser.LABEL_PixSize.caption(), pixelSize);
    EXPECT_EQ(browser.File1.list(browser.File1.listIndex()), c.row);
    EXPECT_EQ(snapshot(), before);
  }
}

TEST_F(SaveAsBitmap, ANameTooLongToSuggestEndsTheCommandWithoutADialog) {
  FORM_Tavlo& browser = browserOn(QString(247, QLatin1Char('l')) + ".jpg");
  seams.fileDialog->answers = {pathOf("never.bmp")};
  browser.SaveAsBitmap();
  EXPECT_TRUE(seams.fileDialog->requests.empty());
  EXPECT_FALSE(QFile::exists(pathOf("never.bmp")));
  EXPECT_EQ(browser.LABEL_PixSize.caption(), "0 x 0 pixels");  // the notice stays
}

// A bitmap file is copied byte for byte, also onto itself; another picture
// is written as a new bitmap of its pixels and listed, whole also where the
// preview holds only a reduced copy of a large photo.
TEST_F(SaveAsBitmap, ABitmapFileIsCopiedUnchangedAndAnotherPictureWrittenAnew) {
  writePicture("large.jpg", 1200, 800);
  const QByteArray original = contentsOf(pathOf("scan.BMP"));
  for (const auto& [row, target] : {std::pair{"scan.BMP", "elsewhere/copy.bmp"}, {"scan.BMP", "scan.BMP"},
                                    {"scan.gif", "saved.bmp"}, {"large.jpg", "large.bmp"}}) {
    SCOPED_TRACE(target);
    FORM_Tavlo& browser = browserOn(row);
    seams.fileDialog->answers = {"  " + pathOf(target) + "  "};  // the blanks are no part of the name
    browser.SaveAsBitmap();
    if (QString(row).endsWith("BMP")) {
      EXPECT_EQ(contentsOf(pathOf(target)), original);
      EXPECT_EQ(contentsOf(pathOf("scan.BMP")), original);
    } else {
      EXPECT_TRUE(contentsOf(pathOf(target)).startsWith("BM"));
      EXPECT_EQ(Picture::load(pathOf(target)).image().convertToFormat(QImage::Format_ARGB32),
                Picture::load(pathOf(row)).image().convertToFormat(QImage::Format_ARGB32));
      EXPECT_TRUE(rows(browser).contains(target));
    }
    EXPECT_TRUE(seams.messageBox->calls.empty());
    expectEmptyPreview(browser);
    EXPECT_EQ(browser.File1.listIndex(), -1);
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
  }
}

// A write the system refuses is told; the target stays as it was, and the
// command ends as always: preview empty, list re-read, pointer back.
TEST_F(SaveAsBitmap, ARefusedWriteSaysWhyAndEndsAsAlways) {
  writeFile("readonly.bmp", "kept");
  QFile::setPermissions(pathOf("readonly.bmp"), QFile::ReadOwner);
  const QString noRoom = QStringLiteral("There is not enough space on the disk.");
  const QString noFolder = QStringLiteral("The file, or a folder on its path, does not exist.");
  const QString noRight = QStringLiteral("You do not have permission to change this file or its folder.");
  const struct {
    const char* row;
    QString target;
    std::function<void()> meanwhile;
    QString reason;
  } cases[] = {
      {"photo.jpg", "missing/saved.bmp", [] {}, noFolder},
      {"scan.BMP", "missing/saved.bmp", [] {}, noFolder},
      {"photo.jpg", "readonly.bmp", [] {}, noRight},
      {"scan.BMP", "elsewhere/saved.bmp",
       [&] { QFile::setPermissions(pathOf("elsewhere"), QFile::ReadOwner | QFile::ExeOwner); }, noRight},
      {"photo.jpg", QString(300, QLatin1Char('n')) + ".bmp", [] {}, "The name is too long."},
      {"photo.jpg", "full/saved.bmp", [] {}, noRoom},
      {"scan.BMP", "full/old.bmp", [] {}, noRoom},
      {"scan.BMP", "saved.bmp", [&] { QFile::remove(pathOf("scan.BMP")); }, noFolder},
  };
  FullDisk disk(makeFolder("full"));
  writeFile("full/old.bmp", "kept");
  disk.fill();
  PermissionBitsApply ordinaryUser;
  if (!ordinaryUser.active()) GTEST_SKIP() << "cannot give up root's override of permission bits";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row + (" to " + c.target.toStdString()));
    if (c.target.startsWith("full/") && !disk.mounted()) continue;  // a full disk needs root's rights
    FORM_Tavlo& browser = browserOn(c.row);
    c.meanwhile();
    seams.messageBox->calls.clear();
    seams.fileDialog->answers = {pathOf(c.target)};
    const auto before = snapshot();
    browser.SaveAsBitmap();
    QFile::setPermissions(pathOf("elsewhere"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    expectOneMessage("Could not save file : " + pathOf(c.target) + "\n\n" + c.reason, 16, "Error Saving");
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(rows(browser).contains("scan.BMP"), QFile::exists(pathOf("scan.BMP")));
    expectEmptyPreview(browser);
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
  }
}

}  // namespace
