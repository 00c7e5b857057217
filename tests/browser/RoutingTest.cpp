// How the buttons, the pop-up menu, the mouse and the keys reach the commands.

#include "browser/BrowserDriver.h"
#include "dialogs/FORM_About.h"
#include "dialogs/FORM_Settings.h"
#include "startup/MODULE_Public.h"
#include "support/TestDesktop.h"

#include <QMenu>

#include <functional>

using platform::DefaultInstance;

namespace {

class Routing : public BrowserTest {
 protected:
  // Clicks a mouse button on the file list's row and gives the pop-up menu's
  // items, each by its initial or "-" when greyed ("" when no menu showed);
  // then closes the menu, or chooses the item given.
  static QString popupOn(FORM_Tavlo& browser, const QString& row, Qt::MouseButton button,
                         platform::PopupMenu::Item* choose = nullptr) {
    QString items;
    QTimer menuShown;
    QObject::connect(&menuShown, &QTimer::timeout, [&] {
      QMenu* menu = browser.MENU_FileListPopup.menu();
      if (!menu->isVisible()) return;
      menuShown.stop();
      const platform::PopupMenu::Item* all[] = {&browser.MENUOPT_Open, &browser.MENUOPT_FullSize, &browser.MENUOPT_Rename,
                                                &browser.MENUOPT_Delete, &browser.MENUOPT_SaveBMP};
      for (int i = 0; i < 5; ++i) items += all[i]->enabled() ? QLatin1Char("OFRDS"[i]) : QLatin1Char('-');
      menu->close();
      if (choose) choose->choose();
    });
    menuShown.start(0);
    QTest::mouseClick(browser.File1.listWidget()->viewport(), button, {},
                      row.isEmpty() ? QPoint(5, 5) : rowRect(browser, row).center());
    settle();
    return items;
  }
};

// Open, by any of its routes (the button: FileCommands), hands the current
// file to the program its desktop entry names; where there is none nothing
// starts and nothing is said. The pop-up acts on the current row and greys
// what cannot be done.
TEST_F(Routing, EveryRouteReachesTheCommandForTheCurrentRow) {
  writeFile("notes.jpg", "not a picture");
  writePicture("photo.jpg", 40, 30);
  writePicture("scan.bmp", 20, 20);
  FORM_Tavlo& browser = openBrowser();
  EXPECT_EQ(popupOn(browser, QString(), Qt::RightButton), "") << "no row selected";
  clickRow(browser, "notes.jpg");
  EXPECT_EQ(popupOn(browser, "photo.jpg", Qt::RightButton), "O-RD-") << "the notice: nothing to view or save";
  EXPECT_EQ(browser.File1.list(browser.File1.listIndex()), "notes.jpg") << "the right button does not move the row";
  clickRow(browser, "scan.bmp");
  EXPECT_EQ(popupOn(browser, "scan.bmp", Qt::RightButton, &browser.MENUOPT_Open), "-FRDS") << "no program for bitmaps";
  EXPECT_TRUE(seams.programStart->starts.empty());
  clickRow(browser, "photo.jpg");
  EXPECT_EQ(popupOn(browser, "notes.jpg", Qt::MiddleButton), "OFRDS");
  EXPECT_EQ(popupOn(browser, "photo.jpg", Qt::LeftButton), "");

  const std::function<void()> opens[] = {
      [&] { QTest::mouseDClick(browser.File1.listWidget()->viewport(), Qt::LeftButton, {}, rowRect(browser, "photo.jpg").center()); },
      [&] { QTest::mouseDClick(browser.IMAGE_Preview.widget(), Qt::LeftButton, {}, QPoint(3, 3)); },
      [&] { popupOn(browser, "notes.jpg", Qt::RightButton, &browser.MENUOPT_Open); },
  };
  for (const auto& open : opens) {
    SCOPED_TRACE(&open - opens);
    seams.programStart->starts.clear();
    open();
    settle();
    EXPECT_EQ(seams.programStart->starts, (std::vector{std::pair(testDesktop().viewer, pathOf("photo.jpg"))}));
  }

  // "Save As BMP..." writes the previewed picture where the dialog says.
  seams.fileDialog->answers = {pathOf("saved.bmp")};
  popupOn(browser, "notes.jpg", Qt::RightButton, &browser.MENUOPT_SaveBMP);
  EXPECT_EQ(QImage(pathOf("saved.bmp")).size(), QSize(40, 30));

  // "Delete" from the menu opened over another row deletes the current one.
  clickRow(browser, "photo.jpg");
  popupOn(browser, "notes.jpg", Qt::RightButton, &browser.MENUOPT_Delete);
  EXPECT_FALSE(QFile::exists(pathOf("photo.jpg")));
  EXPECT_TRUE(QFile::exists(pathOf("notes.jpg")));
  EXPECT_TRUE(seams.messageBox->calls.empty());
}

// Enter opens the settings (no button has the focus), and there applies them
// from a check box; a double-click on the window's free background, not on a
// control, opens the about box, which closes by Esc, Enter or a double-click
// on its icon; Esc closes the browser.
TEST_F(Routing, EnterOpensTheSettingsTheBackgroundTheAboutBoxAndEscEndsTheProgram) {
  FORM_Tavlo& browser = openBrowser();
  browser.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&browser));
  bool settingsShown = false, applied = false;
  QTimer::singleShot(0, [&] {
    FORM_Settings& settings = DefaultInstance<FORM_Settings>::get();
    settingsShown = settings.isVisible();
    settings.CHECK_ConfirmRename.setValue(0);
    QTest::keyClick(settings.CHECK_ConfirmRename.widget(), Qt::Key_Return);
    applied = !settings.isVisible();
    if (!applied) settings.hideForm();
  });
  browser.File1.setFocus();
  QTest::keyClick(browser.File1.listWidget(), Qt::Key_Return);
  EXPECT_TRUE(settingsShown && applied);
  EXPECT_EQ(MODULE_Public::ConfirmRename, 0);

  QTest::mouseDClick(browser.LABEL_FileSize.widget(), Qt::LeftButton);
  EXPECT_FALSE(DefaultInstance<FORM_About>::exists()) << "not on a control";
  const std::function<void(FORM_About&)> ways[] = {
      [](FORM_About& a) { QTest::keyClick(a.BUTTON_AboutClose.widget(), Qt::Key_Escape); },
      [](FORM_About& a) { QTest::keyClick(a.BUTTON_AboutClose.widget(), Qt::Key_Return); },
      [](FORM_About& a) { QTest::mouseDClick(a.PICTURE_AboutIcon.widget(), Qt::LeftButton); },
  };
  for (const auto& close : ways) {
    bool closed = false;
    onceShown([] { return &DefaultInstance<FORM_About>::get(); }, [&] {
      FORM_About& about = DefaultInstance<FORM_About>::get();
      about.BUTTON_AboutClose.setFocus();
      close(about);
      closed = !DefaultInstance<FORM_About>::exists();
      if (!closed) about.unload();
    });
    QTest::mouseDClick(&browser, Qt::LeftButton, {}, QPoint(5, 200));
    EXPECT_TRUE(closed) << "way " << &close - ways;
  }

  QTest::keyClick(browser.File1.listWidget(), Qt::Key_Escape);
  EXPECT_EQ(seams.processExit->exits.size(), 1u);
  EXPECT_FALSE(DefaultInstance<FORM_Tavlo>::exists());
}

}  // namespace
