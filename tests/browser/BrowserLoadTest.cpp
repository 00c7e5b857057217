// What the browser shows when it opens, from the shared settings.

#include "browser/BrowserDriver.h"
#include "dialogs/FORM_Settings.h"
#include "startup/MODULE_Public.h"

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

struct FilterCase {
  std::int16_t stored;
  int listIndex;
  const char* text;
};

void PrintTo(const FilterCase& c, std::ostream* out) { *out << "stored filter index " << c.stored; }

class BrowserLoadFilter : public BrowserLoad, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(BrowserLoadFilter, AppliesOnlyAStoredIndexOfTheList) {
  MODULE_Public::FilterIndex = GetParam().stored;
  FORM_Tavlo& browser = openBrowser();
  EXPECT_EQ(browser.COMBO_Filter.listIndex(), GetParam().listIndex);
  EXPECT_EQ(browser.COMBO_Filter.text(), QString::fromLatin1(GetParam().text));
  // Every file: the last item's pattern, or the list's own until a filter applies.
  EXPECT_EQ(rows(browser), QStringList({"a.jpg", "b.GIF", "c.bmp", "d.txt"}));
  EXPECT_EQ(MODULE_Public::CurrentPath, folder.path() + "/");
}

INSTANTIATE_TEST_SUITE_P(StoredIndex, BrowserLoadFilter,
                         ::testing::Values(FilterCase{6, 6, "*.*"}, FilterCase{9, -1, ""}, FilterCase{-2, -1, ""},
                                           FilterCase{7, -1, ""}));

struct HiddenCase {
  std::int16_t stored;
  bool listsDotFiles;
};

void PrintTo(const HiddenCase& c, std::ostream* out) { *out << "stored hidden value " << c.stored; }

class BrowserLoadHidden : public BrowserLoad, public ::testing::WithParamInterface<HiddenCase> {};

TEST_P(BrowserLoadHidden, ListsDotFilesOnlyWhenTheBoxIsChecked) {
  MODULE_Public::ShowHidden = GetParam().stored;
  FORM_Tavlo& browser = openBrowser();
  EXPECT_EQ(browser.CHECK_Hidden.value(), GetParam().stored);
  EXPECT_EQ(rows(browser).contains(".e.jpg"), GetParam().listsDotFiles);
  EXPECT_TRUE(rows(browser).contains("a.jpg"));
}

INSTANTIATE_TEST_SUITE_P(StoredValue, BrowserLoadHidden,
                         ::testing::Values(HiddenCase{0, false}, HiddenCase{1, true}, HiddenCase{2, false}));

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

TEST_F(BrowserLoad, ShowsTheVolumeOfTheFolderItStartsIn) {
  seams.volumes->mounts = QStringList{"/", folder.path()};
  FORM_Tavlo& browser = openBrowser();
  EXPECT_EQ(browser.Drive1.drive(), folder.path());
  EXPECT_EQ(browser.Dir1.path(), folder.path());
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
