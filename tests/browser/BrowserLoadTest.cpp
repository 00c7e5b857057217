// What the browser shows when it opens, from the shared settings.

#include "browser/BrowserDriver.h"
#include "dialogs/FORM_Settings.h"
#include "startup/MODULE_Public.h"

#include <QMimeDatabase>

namespace {

using platform::DefaultInstance;

class BrowserLoad : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    for (const char* name : {"a.jpg", "b.GIF", "c.bmp", "d.txt", ".e.jpg"}) writeFile(QString::fromLatin1(name), "x");
  }
};

TEST_F(BrowserLoad, OpensInTheCurrentFolderWithTheFirstFilterWhenNothingIsStored) {
  DefaultInstance<FORM_Settings>::get().load();
  FORM_Tavlo& browser = openBrowser();

  EXPECT_EQ(browser.caption(), QStringLiteral("Tavlo"));
  EXPECT_EQ(browser.COMBO_Filter.listIndex(), 0);
  EXPECT_EQ(browser.COMBO_Filter.text(), QStringLiteral("*.jpg;*.gif;*.bmp"));
  EXPECT_EQ(browser.CHECK_Hidden.value(), 0);
  EXPECT_EQ(browser.Drive1.drive(), QStringLiteral("/"));
  EXPECT_EQ(browser.Dir1.path(), folder.path());
  EXPECT_EQ(browser.File1.path(), folder.path());
  EXPECT_EQ(rows(browser), QStringList({"a.jpg", "b.GIF", "c.bmp"}));
  EXPECT_EQ(browser.File1.listIndex(), -1);
  EXPECT_EQ(MODULE_Public::CurrentPath, folder.path() + "/");
  expectEmptyPreview(browser);
}

// Only a stored index of the list applies; without one the list's own
// pattern shows every file. Dot files are listed only with the box checked.
TEST_F(BrowserLoad, AppliesTheStoredFilterAndHiddenValue) {
  const QStringList every{"a.jpg", "b.GIF", "c.bmp", "d.txt"};
  const struct {
    std::int16_t filter, hidden;
    int listIndex;
    const char* text;
    QStringList rows;
  } cases[] = {
      {6, 0, 6, "*.*", every},
      {9, 0, -1, "", every},
      {-2, 0, -1, "", every},
      {8, 1, -1, "", QStringList{".e.jpg"} + every},
      {0, 1, 0, "*.jpg;*.gif;*.bmp", {".e.jpg", "a.jpg", "b.GIF", "c.bmp"}},
      {0, 2, 0, "*.jpg;*.gif;*.bmp", {"a.jpg", "b.GIF", "c.bmp"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "filter " << c.filter << ", hidden " << c.hidden);
    platform::discardAllForms();
    MODULE_Public::FilterIndex = c.filter;
    MODULE_Public::ShowHidden = c.hidden;
    FORM_Tavlo& browser = openBrowser();
    EXPECT_EQ(browser.COMBO_Filter.listIndex(), c.listIndex);
    EXPECT_EQ(browser.COMBO_Filter.text(), QString::fromLatin1(c.text));
    EXPECT_EQ(browser.CHECK_Hidden.value(), c.hidden);
    EXPECT_EQ(rows(browser), c.rows);
    EXPECT_EQ(MODULE_Public::CurrentPath, folder.path() + "/");
  }
}

// After the seven items, one for every other picture type the loader reads;
// the desktop offers Tavlo for the files of every item.
TEST_F(BrowserLoad, TheLastFilterItemListsTheOtherPictureTypesAndTheDesktopEntryNamesThemAll) {
  writePicture("f.png", 8, 8);
  writePicture("g.TIF", 8, 8);
  MODULE_Public::FilterIndex = 7;
  FORM_Tavlo& browser = openBrowser();
  EXPECT_EQ(rows(browser), QStringList({"f.png", "g.TIF"}));
  clickRow(browser, "g.TIF");
  EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u);

  const QStringList offered = QString::fromUtf8(contentsOf(testData("../../data/tavlo.desktop")))
                                  .section("\nMimeType=", 1)
                                  .section('\n', 0, 0)
                                  .split(';', Qt::SkipEmptyParts);
  const QMimeDatabase types;
  for (int item = 0; item < browser.COMBO_Filter.listCount(); ++item) {
    for (const QString& pattern : browser.COMBO_Filter.list(item).split(';')) {
      if (pattern == "*.*") continue;
      const QMimeType type = types.mimeTypeForFile("x" + pattern.mid(1), QMimeDatabase::MatchExtension);
      EXPECT_TRUE(offered.contains(type.name())) << pattern.toStdString() << " is " << type.name().toStdString();
    }
  }
}

TEST_F(BrowserLoad, OpensInAStartFolderThatExists) {
  // The start folder lies on another volume; the drive list stays on the first.
  seams.volumes->mounts = QStringList{"/", pathOf("usb")};
  const QString start = makeFolder("usb/pictures");
  writeFile("usb/pictures/there.bmp", "x");
  MODULE_Public::StartPath = start;

  FORM_Tavlo& browser = openBrowser();
  EXPECT_EQ(browser.Dir1.path(), start);
  EXPECT_EQ(browser.File1.path(), start);
  EXPECT_EQ(rows(browser), QStringList({"there.bmp"}));
  EXPECT_EQ(MODULE_Public::CurrentPath, start + "/");
  EXPECT_EQ(browser.Drive1.drive(), QStringLiteral("/"));
  expectEmptyPreview(browser);
}

TEST_F(BrowserLoad, StaysInTheCurrentFolderWhenTheStartFolderIsMissing) {
  MODULE_Public::StartPath = pathOf("gone");
  FORM_Tavlo& browser = openBrowser();
  EXPECT_EQ(browser.Dir1.path(), folder.path());
  EXPECT_EQ(browser.File1.path(), folder.path());
  EXPECT_EQ(rows(browser), QStringList({"a.jpg", "b.GIF", "c.bmp"}));
  EXPECT_EQ(MODULE_Public::CurrentPath, folder.path() + "/");
  EXPECT_TRUE(seams.messageBox->calls.empty());
}

}  // namespace
