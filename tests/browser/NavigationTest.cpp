// Where the browser opens, and walking volumes, folders, filters and the
// hidden-files box.

#include "browser/BrowserDriver.h"
#include "startup/MODULE_Public.h"

#include <QLineEdit>
#include <QMimeDatabase>

#include <cerrno>
#include <functional>
#include <tuple>

namespace {

using MODULE_Public::CurrentPath;

class Navigation : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    usb = makeFolder("usb");
    seams.volumes->mounts = QStringList{"/", usb};
    makeFolder("sub");
    for (const char* name : {"a.jpg", "c.bmp", ".h.bmp", "sub/s.bmp", "usb/on-usb.jpg"})
      writePicture(QString::fromLatin1(name), 20, 10);
    for (const char* name : {"b.GIF", "t.txt", "sub/u.txt"}) writeFile(QString::fromLatin1(name), "x");
  }

  // The folder both lists show, kept with its separator as the current path.
  void expectIn(const FORM_Tavlo& browser, const QString& path) const {
    EXPECT_EQ(browser.Dir1.path(), path);
    EXPECT_EQ(browser.File1.path(), path);
    EXPECT_EQ(CurrentPath, path + "/");
  }

  QString usb;
};

// Only a stored index of the filter list applies; without one the file
// list's own pattern shows every file. Dot files show only with the box
// checked. A start folder that exists is entered, on any volume. After the
// seven filter items, one for every other picture type the loader reads; the
// desktop entry offers Tavlo for the files of every item.
TEST_F(Navigation, OpensInTheStartFolderWithTheStoredFilterAndHiddenValue) {
  makeFolder("usb/pictures");
  for (const char* name : {"there.bmp", "f.png", "g.TIF", "h.HEIC", "i.avif", "j.jxl", "k.NEF"})
    writeFile("usb/pictures/" + QString::fromLatin1(name), "x");
  const QStringList every{"a.jpg", "b.GIF", "c.bmp", "t.txt"};
  // The stored filter index, hidden value and start folder; the list index
  // and the rows its pattern shows.
  const std::tuple<std::int16_t, std::int16_t, const char*, int, QStringList> cases[] = {
      {0, 0, "", 0, {"a.jpg", "b.GIF", "c.bmp"}},
      {6, 0, "gone", 6, every},
      {-2, 0, "", -1, every},
      {8, 1, "", -1, QStringList{".h.bmp"} + every},
      {0, 2, "usb/pictures", 0, {"there.bmp"}},
      {7, 0, "usb/pictures", 7, {"f.png", "g.TIF", "h.HEIC", "i.avif", "j.jxl", "k.NEF"}},
  };
  for (const auto& [filter, hidden, start, listIndex, shown] : cases) {
    SCOPED_TRACE(testing::Message() << "filter " << filter << ", hidden " << hidden << ", start " << start);
    platform::discardAllForms();
    MODULE_Public::FilterIndex = filter;
    MODULE_Public::ShowHidden = hidden;
    MODULE_Public::StartPath = *start ? pathOf(start) : QString();
    FORM_Tavlo& browser = openBrowser();
    EXPECT_EQ(browser.COMBO_Filter.listIndex(), listIndex);
    EXPECT_EQ(browser.CHECK_Hidden.value(), hidden);
    EXPECT_EQ(browser.Drive1.drive(), "/") << "the drive list stays on the first volume";
    expectIn(browser, QFileInfo(MODULE_Public::StartPath).isDir() ? MODULE_Public::StartPath : folder.path());
    EXPECT_EQ(rows(browser), shown);
    if (listIndex >= 0) expectEmptyPreview(browser);  // a filter item chosen empties the pane
  }
  EXPECT_TRUE(seams.messageBox->calls.empty());

  const QStringList offered = QString::fromUtf8(contentsOf(testData("../../data/tavlo.desktop")))
                                  .section("\nMimeType=", 1)
                                  .section('\n', 0, 0)
                                  .split(';', Qt::SkipEmptyParts);
  const QMimeDatabase types;
  const platform::ComboBox& filters = platform::DefaultInstance<FORM_Tavlo>::get().COMBO_Filter;
  for (int item = 0; item < filters.listCount(); ++item) {
    for (const QString& pattern : filters.list(item).split(';')) {
      const QMimeType type = types.mimeTypeForFile("x" + pattern.mid(1), QMimeDatabase::MatchExtension);
      // A type this system's MIME database does not know yet (Samsung's RAW)
      // is offered by its name all the same.
      EXPECT_TRUE(pattern == "*.*" || type.isDefault() || offered.contains(type.name())) << pattern.toStdString();
    }
  }
}

// Each change lists the files anew with no row chosen and empties the
// preview; a typed pattern applies at the next folder change.
TEST_F(Navigation, EveryFilterHiddenOrFolderChangeListsAnewAndEmptiesThePreview) {
  const auto clickHidden = [](FORM_Tavlo& b) { QTest::mouseClick(b.CHECK_Hidden.widget(), Qt::LeftButton); };
  const QStringList every{"a.jpg", "b.GIF", "c.bmp", "t.txt"};
  // What is done, the row previewed before, the change and the rows after it.
  const std::tuple<const char*, const char*, std::function<void(FORM_Tavlo&)>, QStringList> steps[] = {
      {"choosing the last filter item", "a.jpg", [](FORM_Tavlo& b) { chooseFilter(b, 6); }, every},
      // The same files, but no row stays chosen: a click on it previews it again.
      {"choosing it again", "a.jpg", [](FORM_Tavlo& b) { chooseFilter(b, 6); }, every},
      {"checking the hidden box", "a.jpg", clickHidden, QStringList{".h.bmp"} + every},
      {"typing a pattern, then double-clicking a subfolder",
       ".h.bmp",
       [this](FORM_Tavlo& b) {
         QLineEdit* edit = b.COMBO_Filter.comboBox()->lineEdit();
         edit->selectAll();
         QTest::keyClicks(edit, "*.bmp");
         EXPECT_NE(b.IMAGE_Preview.picture().handle(), 0u) << "typing alone changes nothing";
         openFolder(b, pathOf("sub"));
       },
       {"s.bmp"}},
      {"Enter on the parent folder",
       "s.bmp",
       [this](FORM_Tavlo& b) { openFolder(b, folder.path(), Qt::Key_Return); },
       {".h.bmp", "c.bmp"}},
      {"unchecking the hidden box", ".h.bmp", clickHidden, {"c.bmp"}},
  };
  FORM_Tavlo& browser = openBrowser();
  for (const auto& [what, shown, change, rowsAfter] : steps) {
    SCOPED_TRACE(what);
    clickRow(browser, shown);
    EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u);
    change(browser);
    settle();
    EXPECT_EQ(rows(browser), rowsAfter);
    EXPECT_EQ(CurrentPath, browser.File1.path() + "/");
    expectEmptyPreview(browser);
  }
  openFolder(browser, "/");
  EXPECT_EQ(CurrentPath, "/") << "the root keeps its one separator";
}

// In an empty folder clicks and keys choose nothing, and no file command
// acts on the folder itself (which has a program here).
TEST_F(Navigation, WithNoRowNoClickKeyOrFileCommandDoesAnything) {
  MODULE_Public::StartPath = makeFolder("nothing");
  FORM_Tavlo& browser = openBrowser();
  ASSERT_EQ(browser.File1.listCount(), 0);
  QWidget* viewport = browser.File1.listWidget()->viewport();
  QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::keyClick(browser.File1.listWidget(), Qt::Key_Down);
  seams.inputBox->answers = {pathOf("x.jpg")};
  for (platform::CommandButton* button : {&browser.BUTTON_Open, &browser.BUTTON_Rename, &browser.BUTTON_Delete})
    button->press();

  expectEmptyPreview(browser);
  EXPECT_TRUE(seams.messageBox->calls.empty() && seams.inputBox->calls.empty() && seams.programStart->starts.empty());
  EXPECT_TRUE(QFileInfo(pathOf("nothing")).isDir());
}

// A volume that cannot be read is told; Cancel leaves the drive list on the
// folder still shown, ready for the same choice again, and Retry asks until
// the disk is in. A volume opens at the folder last shown on it, else (or
// when that is gone) at its root.
TEST_F(Navigation, AVolumeOpensAtItsLastFolderOrSaysWhyNot) {
  using namespace platform::msgbox;
  const QString deeper = makeFolder("usb/deeper");
  FORM_Tavlo& browser = openBrowser();
  clickRow(browser, "a.jpg");
  // The volume's errno, whether it is told as not ready, and the answer.
  const std::tuple<int, bool, int> cases[] = {{EIO, true, Cancel},
                                              {ENOMEDIUM, true, Cancel},
                                              {EACCES, false, Ok},
                                              {ENOENT, false, Ok},
                                              {ENOMEDIUM, true, Retry}};
  for (const auto& [err, notReady, answer] : cases) {
    SCOPED_TRACE(testing::Message() << "errno " << err << ", answer " << answer);
    seams.volumes->failures[usb] = err;
    seams.messageBox->calls.clear();
    seams.messageBox->answers = {answer, answer};
    seams.messageBox->meanwhile = [&, answer = answer] {
      if (answer == Retry && seams.messageBox->calls.size() == 2) seams.volumes->failures.clear();
    };
    for (int choice = answer == Retry; choice < 2; ++choice) chooseDrive(browser, usb);

    const QString notReadyText = "Drive " + usb + " not ready.  Please insert disk in drive.";
    EXPECT_EQ(messagesShown(), QStringList(2, notReady ? message(notReadyText, 53, "Drive Error")
                                                       : message("Error changing drive.", 48, "Drive Error")));
    EXPECT_EQ(browser.Drive1.drive(), answer == Retry ? usb : "/");
    expectIn(browser, answer == Retry ? usb : folder.path());
    EXPECT_EQ(browser.File1.listIndex(), answer == Retry ? -1 : 0);
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
  }
  openFolder(browser, deeper);
  chooseDrive(browser, "/");
  expectIn(browser, folder.path());
  chooseDrive(browser, usb);
  expectIn(browser, deeper);
  chooseDrive(browser, "/");
  ASSERT_TRUE(QDir(deeper).removeRecursively());
  chooseDrive(browser, usb);
  expectIn(browser, usb);
}

}  // namespace
