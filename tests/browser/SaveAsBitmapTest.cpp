// "Save As BMP...": the save dialog as asked, bitmap files copied, other
// pictures written as new bitmaps, and the pane emptied afterwards.

#include "browser/BrowserDriver.h"
#include "platform/desktop/Screen.h"
#include "platform/pictures/Picture.h"
#include "startup/MODULE_Public.h"

#include <QFile>


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

TEST_F(SaveAsBitmap, ABitmapFileIsCopiedUnchanged) {
  const QByteArray original = contentsOf(pathOf("scan.BMP"));
  for (const QString target : {"elsewhere/copy.bmp", "scan.BMP"}) {
    SCOPED_TRACE(target.toStdString());
    FORM_Tavlo& browser = browserOn("scan.BMP");
    seams.fileDialog->answers = {pathOf(target)};
    browser.SaveAsBitmap();
    EXPECT_EQ(contentsOf(pathOf(target)), original);
    EXPECT_EQ(contentsOf(pathOf("scan.BMP")), original);
    expectEmptyPreview(browser);
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
  }
}

// The preview of a large photo holds only a reduced copy; the whole picture is written.
TEST_F(SaveAsBitmap, AnotherPictureIsWrittenWholeAsANewBitmapAndListed) {
  writePicture("large.jpg", 1200, 800);
  for (const QString row : {"scan.gif", "large.jpg"}) {
    SCOPED_TRACE(row.toStdString());
    FORM_Tavlo& browser = browserOn(row);
    const QString target = pathOf(row + ".bmp");
    // Blanks around the answer are not part of the name.
    seams.fileDialog->answers = {"  " + target + "  "};
    browser.SaveAsBitmap();

    EXPECT_TRUE(contentsOf(target).startsWith("BM"));
    EXPECT_EQ(Picture::load(target).image().convertToFormat(QImage::Format_ARGB32),
              Picture::load(pathOf(row)).image().convertToFormat(QImage::Format_ARGB32));
    expectEmptyPreview(browser);
    EXPECT_EQ(browser.File1.listIndex(), -1);
    EXPECT_TRUE(rows(browser).contains(row + ".bmp"));
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
  }
}

TEST_F(SaveAsBitmap, AFailedWriteIsSilentAndStillEmptiesThePreview) {
  for (const QString row : {"photo.jpg", "scan.BMP"}) {
    SCOPED_TRACE(row.toStdString());
    FORM_Tavlo& browser = browserOn(row);
    seams.fileDialog->answers = {pathOf("missing/saved.bmp")};
    const auto before = snapshot();
    browser.SaveAsBitmap();
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(seams.messageBox->calls.empty());
    expectEmptyPreview(browser);
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
  }
}

}  // namespace
