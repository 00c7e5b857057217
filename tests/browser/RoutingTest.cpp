// How the buttons, the pop-up menu, the mouse and the keys reach the commands.

#include "browser/BrowserDriver.h"
#include "dialogs/FORM_About.h"
#include "dialogs/FORM_Settings.h"
#include "startup/MODULE_Public.h"

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTimer>

using platform::DefaultInstance;

namespace {

class Routing : public BrowserTest {
 protected:
  struct MenuState {
    bool shown = false;
    bool open = false, fullSize = false, rename = false, remove = false, saveBmp = false;
  };

  // Presses a mouse button on the file list's row and records the pop-up
  // menu's items, then closes it (or chooses the item given).
  MenuState popupOn(FORM_Tavlo& browser, const QString& row, Qt::MouseButton button,
                    platform::PopupMenu::Item* choose = nullptr) {
    MenuState state;
    QTimer::singleShot(0, [&] {
      QMenu* menu = browser.MENU_FileListPopup.menu();
      state.shown = menu->isVisible();
      state.open = browser.MENUOPT_Open.enabled();
      state.fullSize = browser.MENUOPT_FullSize.enabled();
      state.rename = browser.MENUOPT_Rename.enabled();
      state.remove = browser.MENUOPT_Delete.enabled();
      state.saveBmp = browser.MENUOPT_SaveBMP.enabled();
      menu->close();
      if (choose) choose->choose();
    });
    QWidget* viewport = browser.File1.listWidget()->viewport();
    const QPoint at = row.isEmpty() ? QPoint(5, 5) : rowRect(browser, row).center();
    QTest::mousePress(viewport, button, {}, at);
    QTest::mouseRelease(viewport, button, {}, at);
    QCoreApplication::processEvents();
    return state;
  }
};

TEST_F(Routing, ThePopUpActsOnTheCurrentRowAndGreysWhatCannotBeDone) {
  writeFile("notes.jpg", "not a picture");
  writePicture("photo.jpg", 40, 30);
  writePicture("scan.bmp", 20, 20);
  FORM_Tavlo& browser = openBrowser();

  EXPECT_FALSE(popupOn(browser, QString(), Qt::RightButton).shown) << "no row selected";

  clickRow(browser, "notes.jpg");
  MenuState notice = popupOn(browser, "photo.jpg", Qt::RightButton);
  EXPECT_TRUE(notice.shown);
  EXPECT_FALSE(notice.fullSize);
  EXPECT_FALSE(notice.saveBmp);
  EXPECT_TRUE(notice.rename);
  EXPECT_TRUE(notice.remove);
  EXPECT_EQ(browser.File1.list(browser.File1.listIndex()), "notes.jpg") << "the right button does not move the row";

  clickRow(browser, "scan.bmp");
  EXPECT_FALSE(popupOn(browser, "scan.bmp", Qt::RightButton).open) << "no program for bitmaps";

  clickRow(browser, "photo.jpg");
  MenuState picture = popupOn(browser, "notes.jpg", Qt::MiddleButton);
  EXPECT_TRUE(picture.shown);
  EXPECT_TRUE(picture.fullSize);
  EXPECT_TRUE(picture.saveBmp);

  EXPECT_TRUE(picture.open) << "the tests' desktop opens JPEG pictures";
  EXPECT_FALSE(popupOn(browser, "photo.jpg", Qt::LeftButton).shown);

  // "Save As BMP..." writes the previewed picture where the dialog says.
  seams.fileDialog->answers = {pathOf("saved.bmp")};
  popupOn(browser, "notes.jpg", Qt::RightButton, &browser.MENUOPT_SaveBMP);
  QImage saved(pathOf("saved.bmp"));
  EXPECT_EQ(saved.size(), QSize(40, 30));
  clickRow(browser, "photo.jpg");

  // "Delete" from the menu opened over another row deletes the current one.
  MODULE_Public::ConfirmDelete = 0;
  popupOn(browser, "notes.jpg", Qt::RightButton, &browser.MENUOPT_Delete);
  EXPECT_FALSE(QFile::exists(pathOf("photo.jpg")));
  EXPECT_TRUE(QFile::exists(pathOf("notes.jpg")));
}

TEST_F(Routing, EscClosesTheBrowserAndEnterOpensTheSettings) {
  writePicture("photo.jpg", 4, 4);
  FORM_Tavlo& browser = openBrowser();
  browser.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&browser));
  DefaultInstance<FORM_Settings>::get().load();

  bool settingsShown = false;
  QTimer::singleShot(0, [&] {
    settingsShown = DefaultInstance<FORM_Settings>::get().isVisible();
    DefaultInstance<FORM_Settings>::get().BUTTON_Apply.press();
  });
  browser.File1.setFocus();
  QTest::keyClick(browser.File1.listWidget(), Qt::Key_Return);
  EXPECT_TRUE(settingsShown);

  QTest::keyClick(browser.File1.listWidget(), Qt::Key_Escape);
  EXPECT_EQ(seams.processExit->exits.size(), 1u);
  EXPECT_FALSE(DefaultInstance<FORM_Tavlo>::exists());
}

TEST_F(Routing, ADoubleClickOnTheWindowsBackgroundOpensTheAboutBox) {
  FORM_Tavlo& browser = openBrowser();
  QTest::mouseDClick(browser.LABEL_FileSize.widget(), Qt::LeftButton);
  EXPECT_FALSE(DefaultInstance<FORM_About>::exists()) << "not on a control";

  QStringList texts;
  QTimer::singleShot(0, [&] {
    FORM_About& about = DefaultInstance<FORM_About>::get();
    texts = {about.caption(), about.LABEL_AboutName.caption(), about.LABEL_AboutProduct.caption(),
             about.LABEL_AboutAuthor.caption()};
    about.BUTTON_AboutClose.press();
  });
  QTest::mouseDClick(&browser, Qt::LeftButton, {}, QPoint(5, 200));
  EXPECT_EQ(texts, QStringList({"About Tavlo", "Tavlo 2.0.0", "Tavloer and Manager.", "Written by the Tavlo developers."}));
  EXPECT_FALSE(DefaultInstance<FORM_About>::exists());
}

TEST_F(Routing, TheAboutBoxClosesByEscEnterAndItsIcon) {
  using Close = std::function<void(FORM_About&)>;
  const std::pair<const char*, Close> ways[] = {
      {"Esc on the button", [](FORM_About& a) { QTest::keyClick(a.BUTTON_AboutClose.widget(), Qt::Key_Escape); }},
      {"Enter", [](FORM_About& a) { QTest::keyClick(a.BUTTON_AboutClose.widget(), Qt::Key_Return); }},
      {"icon", [](FORM_About& a) { QTest::mouseDClick(a.PICTURE_AboutIcon.widget(), Qt::LeftButton); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.first);
    const Close& close = way.second;  // clang 14 cannot capture a structured binding
    bool closed = false;
    onceShown([] { return &DefaultInstance<FORM_About>::get(); }, [&] {
      FORM_About& about = DefaultInstance<FORM_About>::get();
      about.BUTTON_AboutClose.setFocus();
      close(about);
      closed = !DefaultInstance<FORM_About>::exists();
      if (!closed) about.unload();
    });
    DefaultInstance<FORM_About>::get().showForm(platform::Form::Modality::Modal);
    EXPECT_TRUE(closed);
  }
}

}  // namespace
