// Walking folders, choosing filters and the hidden-files box.

#include "browser/BrowserDriver.h"
#include "startup/MODULE_Public.h"

#include <QLineEdit>

#include <functional>

namespace {

using MODULE_Public::CurrentPath;

class Navigation : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    writePicture("a.bmp", 300, 100);
    writePicture(".h.bmp", 20, 20);
    writeFile("t.txt", "text");
    makeFolder("sub");
    writePicture("sub/s.bmp", 40, 40);
    writeFile("sub/u.txt", "text");
  }

  static void expectShowsAPicture(const FORM_Tavlo& browser) {
    EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u);
    EXPECT_NE(browser.LABEL_PixSize.caption(), QString());
  }
};

TEST_F(Navigation, EveryFilterHiddenOrFolderChangeEmptiesThePreview) {
  const struct {
    const char* what;
    const char* shown;
    std::function<void(FORM_Tavlo&)> change;
    QStringList rowsAfter;
  } steps[] = {
      {"choosing the last filter item", "a.bmp", [](FORM_Tavlo& b) { chooseFilter(b, 6); }, {"a.bmp", "t.txt"}},
      // The same files, but no row stays chosen: a click on it previews it again.
      {"choosing it again", "a.bmp", [](FORM_Tavlo& b) { chooseFilter(b, 6); }, {"a.bmp", "t.txt"}},
      {"checking the hidden box", "a.bmp",
       [](FORM_Tavlo& b) { QTest::mouseClick(b.CHECK_Hidden.widget(), Qt::LeftButton); },
       {".h.bmp", "a.bmp", "t.txt"}},
      {"double-clicking a subfolder", ".h.bmp",
       [this](FORM_Tavlo& b) { doubleClickFolder(b, pathOf("sub")); }, {"s.bmp", "u.txt"}},
      {"Enter on the parent folder", "s.bmp", [this](FORM_Tavlo& b) { enterFolder(b, folder.path()); },
       {".h.bmp", "a.bmp", "t.txt"}},
      {"choosing the first filter item", "a.bmp", [](FORM_Tavlo& b) { chooseFilter(b, 0); }, {".h.bmp", "a.bmp"}},
      {"unchecking the hidden box", "a.bmp",
       [](FORM_Tavlo& b) { QTest::mouseClick(b.CHECK_Hidden.widget(), Qt::LeftButton); }, {"a.bmp"}},
  };
  FORM_Tavlo& browser = openBrowser();
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    clickRow(browser, QString::fromLatin1(step.shown));
    expectShowsAPicture(browser);
    step.change(browser);
    EXPECT_EQ(rows(browser), step.rowsAfter);
    EXPECT_EQ(browser.File1.listIndex(), -1);
    expectEmptyPreview(browser);
  }
  EXPECT_EQ(browser.COMBO_Filter.listIndex(), 0);
  EXPECT_EQ(browser.CHECK_Hidden.value(), 0);
}

TEST_F(Navigation, TypedFilterTextAppliesAtTheNextFolderChange) {
  FORM_Tavlo& browser = openBrowser();
  clickRow(browser, "a.bmp");
  QLineEdit* edit = browser.COMBO_Filter.comboBox()->lineEdit();
  edit->selectAll();
  QTest::keyClicks(edit, "*.txt");
  ASSERT_EQ(browser.COMBO_Filter.text(), QStringLiteral("*.txt"));

  EXPECT_EQ(rows(browser), QStringList({"a.bmp"}));
  expectShowsAPicture(browser);

  doubleClickFolder(browser, pathOf("sub"));
  EXPECT_EQ(rows(browser), QStringList({"u.txt"}));
}

TEST_F(Navigation, CurrentPathFollowsTheFolderListDownToTheRoot) {
  FORM_Tavlo& browser = openBrowser();
  const QString firstBelowRoot = "/" + folder.path().section('/', 1, 1);
  const struct {
    QString target, currentPath;
  } moves[] = {
      {pathOf("sub"), pathOf("sub") + "/"},
      {folder.path(), folder.path() + "/"},
      {"/", "/"},
      {firstBelowRoot, firstBelowRoot + "/"},
  };
  for (const auto& move : moves) {
    SCOPED_TRACE(move.target.toStdString());
    doubleClickFolder(browser, move.target);
    EXPECT_EQ(browser.Dir1.path(), move.target);
    EXPECT_EQ(browser.File1.path(), move.target);
    EXPECT_EQ(CurrentPath, move.currentPath);
  }
}

TEST_F(Navigation, ClicksInAnEmptyFileListDoNothing) {
  makeFolder("nothing");
  MODULE_Public::StartPath = pathOf("nothing");
  FORM_Tavlo& browser = openBrowser();
  ASSERT_EQ(browser.File1.listCount(), 0);
  QWidget* viewport = browser.File1.listWidget()->viewport();
  QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::keyClick(browser.File1.listWidget(), Qt::Key_Down);

  EXPECT_EQ(browser.File1.listIndex(), -1);
  expectEmptyPreview(browser);
  EXPECT_TRUE(seams.messageBox->calls.empty());
}

}  // namespace
