#include "browser/BrowserDriver.h"
#include "browser/FORM_Tavlo.h"
#include "platform/desktop/CommandLine.h"
#include "platform/desktop/Screen.h"
#include "startup/MODULE_Public.h"
#include "support/FreshProgram.h"
#include "viewer/FORM_MiniTavlo.h"

#include <QImage>
#include <QTest>
#include <QTimer>

using platform::DefaultInstance;

namespace {

// The screen is 15360 by 11520 twips, at 5 twips per pixel so that every
// size below is a whole number of pixels.
class Viewer : public FreshProgram {
 protected:
  void SetUp() override {
    FreshProgram::SetUp();
    seams.screen->width = 3072;
    seams.screen->height = 2304;
    seams.screen->dpiX = seams.screen->dpiY = 288;
  }

  // A plain picture of the given natural size in twips.
  QString pictureOfTwips(float width, float height) {
    const QString name = QStringLiteral("t%1x%2.png").arg(width).arg(height);
    QImage image(static_cast<int>(width / 5), static_cast<int>(height / 5), QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    EXPECT_TRUE(image.save(pathOf(name)));
    return pathOf(name);
  }

  FORM_MiniTavlo& openFromCommandLine(const QString& path, std::int16_t commandFullSize) {
    MODULE_Public::CommandFullSize = commandFullSize;
    platform::setCommandLine(path);
    FORM_MiniTavlo& viewer = DefaultInstance<FORM_MiniTavlo>::get();
    viewer.showForm();
    return viewer;
  }

  static void closeViewer(FORM_MiniTavlo& viewer) {
    viewer.unload();
    platform::discardAllForms();
  }

  void rightClickOnPicture(FORM_MiniTavlo& viewer) {
    QTest::mouseClick(viewer.IMAGE_MiniPreview.widget(), Qt::RightButton, {}, QPoint(3, 3));
  }
};

struct Size {
  float width, height;
};

TEST_F(Viewer, FitViewScalesTheLongerSideToTheSquare) {
  struct Case {
    Size picture, shown;
    bool stretched;
  };
  const Case cases[] = {
      {{3000, 1500}, {1575, 788}, true},  // 787.5 goes to the even neighbour
      {{1500, 3000}, {788, 1575}, true},
      {{2000, 2000}, {1575, 1575}, true},
      {{1575, 1000}, {1575, 1000}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.picture.width << " x " << c.picture.height);
    FORM_MiniTavlo& viewer = openFromCommandLine(pictureOfTwips(c.picture.width, c.picture.height), 0);
    EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.width(), c.shown.width);
    EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.height(), c.shown.height);
    EXPECT_EQ(viewer.IMAGE_MiniPreview.stretch(), c.stretched);
    EXPECT_FLOAT_EQ(viewer.windowWidth(), c.shown.width + 90);
    EXPECT_FLOAT_EQ(viewer.windowHeight(), c.shown.height + 330);
    EXPECT_FALSE(viewer.HScroll1.visible());
    EXPECT_FALSE(viewer.VScroll1.visible());
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
    closeViewer(viewer);
  }
}

TEST_F(Viewer, OnlyOneSelectsTheNaturalSizeForACommandLinePicture) {
  const QString path = pictureOfTwips(3000, 1500);
  for (int flag : {0, 1, 2}) {
    FORM_MiniTavlo& viewer = openFromCommandLine(path, static_cast<std::int16_t>(flag));
    EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.width(), flag == 1 ? 3000 : 1575) << flag;
    closeViewer(viewer);
  }
}

TEST_F(Viewer, APictureLargerThanTheScreenGetsScrollBars) {
  FORM_MiniTavlo& viewer = openFromCommandLine(pictureOfTwips(20000, 12000), 1);
  EXPECT_FLOAT_EQ(viewer.PICTURE_MiniPreview.width(), 15015);
  EXPECT_FLOAT_EQ(viewer.PICTURE_MiniPreview.height(), 10435);
  EXPECT_TRUE(viewer.HScroll1.visible() && viewer.HScroll1.enabled());
  EXPECT_TRUE(viewer.VScroll1.visible() && viewer.VScroll1.enabled());
  EXPECT_EQ(viewer.HScroll1.max(), 498);  // 498.5 goes to the even neighbour
  EXPECT_EQ(viewer.HScroll1.smallChange(), 124);
  EXPECT_EQ(viewer.HScroll1.largeChange(), 249);
  EXPECT_EQ(viewer.VScroll1.max(), 156);
  EXPECT_EQ(viewer.VScroll1.smallChange(), 39);
  EXPECT_EQ(viewer.VScroll1.largeChange(), 78);
  EXPECT_FLOAT_EQ(viewer.windowWidth(), 15360);
  EXPECT_FLOAT_EQ(viewer.windowHeight(), 11020);
  EXPECT_FLOAT_EQ(viewer.HScroll1.top(), 10435);
  EXPECT_FLOAT_EQ(viewer.VScroll1.left(), 15015);
}

TEST_F(Viewer, ANarrowTallPictureScrollsOnlyDownwards) {
  FORM_MiniTavlo& viewer = openFromCommandLine(pictureOfTwips(1000, 14000), 1);
  EXPECT_TRUE(viewer.VScroll1.enabled());
  EXPECT_TRUE(viewer.HScroll1.visible());
  EXPECT_FALSE(viewer.HScroll1.enabled());
  EXPECT_EQ(viewer.HScroll1.max(), 0);
  EXPECT_FLOAT_EQ(viewer.windowWidth(), 1000 + 255 + 90);
  EXPECT_FLOAT_EQ(viewer.windowHeight(), 11520 - 500);
}

TEST_F(Viewer, TheFitTestIsStrict) {
  // Exactly as wide as the screen with the frame, and 400 twips short of its
  // height: neither fits.
  for (Size picture : {Size{15270, 1000}, Size{1000, 11120}}) {
    FORM_MiniTavlo& viewer = openFromCommandLine(pictureOfTwips(picture.width, picture.height), 1);
    EXPECT_TRUE(viewer.HScroll1.visible()) << picture.width << " x " << picture.height;
    closeViewer(viewer);
  }
}

TEST_F(Viewer, EachRightOrMiddleClickDoublesTheDisplayedSize) {
  FORM_MiniTavlo& viewer = openFromCommandLine(pictureOfTwips(3000, 2000), 1);
  rightClickOnPicture(viewer);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.width(), 6000);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.height(), 4000);
  EXPECT_TRUE(viewer.IMAGE_MiniPreview.stretch());
  EXPECT_FLOAT_EQ(viewer.PICTURE_MiniPreview.width(), 6000);
  EXPECT_FLOAT_EQ(viewer.windowWidth(), 6090);
  EXPECT_FLOAT_EQ(viewer.windowHeight(), 4330);
  EXPECT_FALSE(viewer.HScroll1.visible());

  QTest::mouseClick(viewer.IMAGE_MiniPreview.widget(), Qt::MiddleButton, {}, QPoint(3, 3));
  EXPECT_FLOAT_EQ(viewer.windowWidth(), 12090);
  EXPECT_FALSE(viewer.HScroll1.visible());

  rightClickOnPicture(viewer);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.width(), 24000);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.height(), 16000);
  EXPECT_TRUE(viewer.HScroll1.visible() && viewer.HScroll1.enabled());
  EXPECT_TRUE(viewer.VScroll1.visible() && viewer.VScroll1.enabled());
  EXPECT_FLOAT_EQ(viewer.windowWidth(), 15360);
}

TEST_F(Viewer, ZoomingPastTheLargestWindowKeepsThatSide) {
  FORM_MiniTavlo& viewer = openFromCommandLine(pictureOfTwips(3000, 1000), 1);
  // 600 pixels doubled 15 times passes the largest widget, 16,777,215 pixels.
  for (int click = 0; click < 16; ++click) rightClickOnPicture(viewer);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.width(), 3000.0f * (1 << 14));
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.height(), 1000.0f * (1 << 16));
  // Beyond what 16-bit scroll units reach, the maximum keeps the last one that
  // fitted: 3000 x 64 twips less the 15015 shown, in tens, 17698.5 to even.
  EXPECT_EQ(viewer.HScroll1.max(), 17698);
  EXPECT_EQ(viewer.HScroll1.smallChange(), 4424);
  EXPECT_EQ(viewer.HScroll1.largeChange(), 8849);
  EXPECT_FLOAT_EQ(viewer.windowWidth(), 15360);
  EXPECT_FALSE(viewer.IMAGE_MiniPreview.widget()->grab(QRect(0, 0, 50, 50)).isNull());
}

TEST_F(Viewer, StepsThatRoundToNothingAreRefused) {
  struct Case {
    float excess;
    std::int16_t max, smallChange, largeChange;
  };
  // Maximum 1: both steps round to 0 or 0.5 -> 0 and stay 1; maximum 3:
  // 0.75 -> 1 and 1.5 -> 2; maximum 10: 2.5 -> 2 and 5.
  for (const Case& c : {Case{10, 1, 1, 1}, Case{30, 3, 1, 2}, Case{100, 10, 2, 5}, Case{4000, 400, 100, 200}}) {
    FORM_MiniTavlo& viewer = openFromCommandLine(pictureOfTwips(15015 + c.excess, 12000), 1);
    EXPECT_EQ(viewer.HScroll1.max(), c.max);
    EXPECT_EQ(viewer.HScroll1.smallChange(), c.smallChange) << c.excess;
    EXPECT_EQ(viewer.HScroll1.largeChange(), c.largeChange) << c.excess;
    closeViewer(viewer);
  }
}

TEST_F(Viewer, ScrollingMovesThePictureTenTwipsAUnitUpTo3276) {
  FORM_MiniTavlo& viewer = openFromCommandLine(pictureOfTwips(50000, 12000), 1);
  viewer.HScroll1.setValue(400);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.left(), -4000);
  viewer.VScroll1.setValue(100);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.top(), -1000);
  viewer.HScroll1.setValue(3276);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.left(), -32760);
  // One more unit leaves 16-bit arithmetic: that direction goes back to the start.
  viewer.HScroll1.setValue(3277);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.left(), 0);
  EXPECT_EQ(viewer.HScroll1.value(), 0);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.top(), -1000);
}

TEST_F(Viewer, OnlyEscOfTheKeysClosesAndTheCornerBetweenTheScrollBarsDoesNothing) {
  FORM_MiniTavlo& viewer = openFromCommandLine(pictureOfTwips(20000, 12000), 1);
  const QPoint corner(platform::twipsToPixelsX(15015 + 100), platform::twipsToPixelsY(10435 + 100));
  QTest::mouseClick(&viewer, Qt::LeftButton, {}, corner);
  QApplication::setActiveWindow(&viewer);
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_A}) QTest::keyClick(&viewer, key);
  EXPECT_TRUE(DefaultInstance<FORM_MiniTavlo>::exists());
  EXPECT_TRUE(seams.processExit->exits.empty());
  QTest::keyClick(&viewer, Qt::Key_Escape);
  EXPECT_FALSE(DefaultInstance<FORM_MiniTavlo>::exists());
  EXPECT_EQ(seams.processExit->exits.size(), 1u);
}

TEST_F(Viewer, OpenedByTheRightButtonOnAPreviewedPictureItShowsItAtItsOwnSizeAndReturns) {
  writeFile(QStringLiteral("notes.txt"), "not a picture");
  pictureOfTwips(3000, 1500);
  MODULE_Public::CommandFullSize = 0;  // the fit view is for command-line pictures only
  FORM_Tavlo& browser = DefaultInstance<FORM_Tavlo>::get();
  browser.showForm();
  browser.COMBO_Filter.setListIndex(6);
  QWidget* preview = browser.IMAGE_Preview.widget();
  browser.File1.setListIndex(0);
  QTest::mousePress(preview, Qt::RightButton, {}, QPoint(3, 3));
  EXPECT_FALSE(DefaultInstance<FORM_MiniTavlo>::exists()) << "no previewed picture";

  browser.File1.setListIndex(1);
  ASSERT_NE(browser.IMAGE_Preview.picture().handle(), 0u);
  QTest::mousePress(preview, Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_FALSE(DefaultInstance<FORM_MiniTavlo>::exists()) << "not by the left button";

  // The preview holds a reduced copy (600 pixels into 323); the viewer shows the whole picture.
  float shownWidth = 0;
  std::int16_t flagWhileOpen = 0;
  onceShown(shownViewer, [&] {
    FORM_MiniTavlo& viewer = DefaultInstance<FORM_MiniTavlo>::get();
    shownWidth = viewer.IMAGE_MiniPreview.width();
    flagWhileOpen = MODULE_Public::ViewerFromBrowser;
    QTest::mouseClick(viewer.IMAGE_MiniPreview.widget(), Qt::LeftButton, {}, QPoint(3, 3));
  });
  QTest::mousePress(preview, Qt::RightButton, {}, QPoint(3, 3));

  EXPECT_FLOAT_EQ(shownWidth, 3000);
  EXPECT_EQ(flagWhileOpen, -1);
  EXPECT_EQ(MODULE_Public::ViewerFromBrowser, 0);
  EXPECT_TRUE(seams.processExit->exits.empty());
  EXPECT_FALSE(DefaultInstance<FORM_MiniTavlo>::exists());
}

}  // namespace
