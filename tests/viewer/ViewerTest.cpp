#include "platform/desktop/Screen.h"
#include "startup/MODULE_Public.h"
#include "support/FreshProgram.h"
#include "viewer/FORM_MiniTavlo.h"

#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <array>
#include <ostream>
#include <tuple>

using platform::DefaultInstance;

// Failures print sizes as width by height.
inline void PrintTo(const QSizeF& s, std::ostream* out) { *out << s.width() << " x " << s.height(); }

namespace {

// A control's size in twips.
QSizeF sizeOf(const platform::Control& control) { return QSizeF(control.width(), control.height()); }

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

  // Opens a plain picture of the given natural size in twips, whose last
  // column and last row are red, from the command line.
  FORM_MiniTavlo& open(QSizeF picture, std::int16_t commandFullSize = 1) {
    const QString path = pathOf(QStringLiteral("t%1x%2.png").arg(picture.width()).arg(picture.height()));
    QImage image((picture / 5).toSize(), QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QPainter(&image).fillRect(image.width() - 1, 0, 1, image.height(), Qt::red);
    QPainter(&image).fillRect(0, image.height() - 1, image.width(), 1, Qt::red);
    EXPECT_TRUE(image.save(path, "PNG", 90));  // quickly, with little compression
    platform::discardAllForms();
    MODULE_Public::CommandFullSize = commandFullSize;
    FORM_MiniTavlo& viewer = DefaultInstance<FORM_MiniTavlo>::get();
    viewer.PicturePath = path;
    viewer.showForm();
    settle();
    return viewer;
  }

  // Whether the pixel of the viewer's picture area at (x, y) is red.
  static bool redAt(FORM_MiniTavlo& viewer, int x, int y) {
    const QColor shown = viewer.PICTURE_MiniPreview.widget()->grab(QRect(x, y, 1, 1)).toImage().pixelColor(0, 0);
    return shown.red() > 200 && shown.green() < 60;
  }
};

// Opening: the fit view for command-line pictures unless CommandFullSize is 1,
// the window fitted to the picture, or scroll bars with their ranges in tens
// of twips and steps of a quarter and a half (refused when they round to 0).
TEST_F(Viewer, OpensAtTheFittedOrNaturalSizeWithScrollBarsWhereItDoesNotFit) {
  // The picture, CommandFullSize; the size shown, stretched, the window; the
  // maximum, small and large change of each scroll bar (none when h[0] < 0).
  using Bar = std::array<std::int32_t, 3>;
  const std::tuple<QSizeF, std::int16_t, QSizeF, bool, QSizeF, Bar, Bar> cases[] = {
      {{3000, 1500}, 0, {1575, 788}, true, {1665, 1118}, {-1}, {}},  // 787.5 to the even neighbour
      {{1500, 3000}, 2, {788, 1575}, true, {878, 1905}, {-1}, {}},
      {{1575, 1000}, 0, {1575, 1000}, false, {1665, 1330}, {-1}, {}},
      {{3000, 1500}, 1, {3000, 1500}, false, {3090, 1830}, {-1}, {}},
      {{20000, 12000}, 1, {20000, 12000}, false, {15360, 11020}, {498, 124, 249}, {156, 39, 78}},
      {{1000, 14000}, 1, {1000, 14000}, false, {1345, 11020}, {0, 1, 1}, {356, 89, 178}},
      // As wide as the screen with the frame (25.5 and 6.5 to the even
      // neighbour), and 400 twips short of its height.
      {{15270, 1000}, 1, {15270, 1000}, false, {15360, 1585}, {26, 6, 13}, {0, 1, 1}},
      {{1000, 11120}, 1, {1000, 11120}, false, {1345, 11020}, {0, 1, 1}, {68, 17, 34}},
      {{15025, 12000}, 1, {15025, 12000}, false, {15360, 11020}, {1, 1, 1}, {156, 39, 78}},
      {{15045, 12000}, 1, {15045, 12000}, false, {15360, 11020}, {3, 1, 2}, {156, 39, 78}},
  };
  for (const auto& [picture, fullSize, shown, stretched, window, h, v] : cases) {
    SCOPED_TRACE(testing::Message() << picture.width() << " x " << picture.height() << " " << fullSize);
    FORM_MiniTavlo& viewer = open(picture, fullSize);
    EXPECT_EQ(sizeOf(viewer.IMAGE_MiniPreview), shown);
    EXPECT_EQ(viewer.IMAGE_MiniPreview.stretch(), stretched);
    EXPECT_EQ(QSizeF(viewer.windowWidth(), viewer.windowHeight()), window);
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
    const bool bars = h[0] >= 0;
    EXPECT_EQ(viewer.HScroll1.visible(), bars);
    EXPECT_EQ(viewer.VScroll1.visible(), bars);
    const float bar = bars ? 255 : 0;
    EXPECT_EQ(sizeOf(viewer.PICTURE_MiniPreview), window - QSizeF(90 + bar, 330 + bar));
    if (!bars) continue;
    EXPECT_FLOAT_EQ(viewer.HScroll1.top(), viewer.PICTURE_MiniPreview.height());
    EXPECT_FLOAT_EQ(viewer.VScroll1.left(), viewer.PICTURE_MiniPreview.width());
    for (const auto& [scrollBar, expected] : {std::pair{&viewer.HScroll1, h}, std::pair{&viewer.VScroll1, v}}) {
      EXPECT_EQ(scrollBar->enabled(), expected[0] > 0);
      EXPECT_EQ((Bar{scrollBar->max(), scrollBar->smallChange(), scrollBar->largeChange()}), expected);
    }
  }
}

// Each right or middle click doubles the displayed size, drawn afresh at that
// size; the window follows the picture while it fits, and past that the last
// value of each scroll bar shows the picture's right or bottom edge, far
// beyond 16-bit offsets. A side that would pass the largest widget keeps its size.
TEST_F(Viewer, EachZoomStepDoublesThePictureAndTheScrollBarsReachItsEdges) {
  // The picture, CommandFullSize, the clicks and the size after the last.
  const std::tuple<QSizeF, std::int16_t, int, QSizeF> cases[] = {
      {{30000, 5000}, 1, 4, {480000, 80000}},  // a 6000-pixel photo at 16 times
      {{3000, 1500}, 0, 4, {25200, 12608}},    // the fit view, not whole pixels
      {{3000, 1000}, 1, 16, {3000 << 14, 1000 << 16}},
  };
  for (const auto& [picture, fullSize, clicks, last] : cases) {
    FORM_MiniTavlo& viewer = open(picture, fullSize);
    for (int step = 1; step <= clicks; ++step) {
      SCOPED_TRACE(testing::Message() << picture.width() << " x " << picture.height() << " step " << step);
      const QSizeF before = sizeOf(viewer.IMAGE_MiniPreview);
      QTest::mouseClick(viewer.IMAGE_MiniPreview.widget(), step % 2 ? Qt::RightButton : Qt::MiddleButton, {}, QPoint(3, 3));
      const float width = viewer.IMAGE_MiniPreview.width(), height = viewer.IMAGE_MiniPreview.height();
      EXPECT_TRUE(width == 2 * before.width() || width == last.width());
      EXPECT_TRUE(height == 2 * before.height() || height == last.height());
      if (width + 90 < 15360 && height + 830 < 11520) {
        EXPECT_FALSE(viewer.HScroll1.visible());
        EXPECT_EQ(QSizeF(viewer.windowWidth(), viewer.windowHeight()), QSizeF(width + 90, height + 330));
      } else {
        ASSERT_TRUE(viewer.HScroll1.visible() && viewer.VScroll1.visible());
        viewer.HScroll1.setValue(viewer.HScroll1.max());
        viewer.VScroll1.setValue(viewer.VScroll1.max());
      }
      const QSize box = viewer.PICTURE_MiniPreview.widget()->size();
      EXPECT_TRUE(redAt(viewer, box.width() - 1, 0)) << "the last column";
      EXPECT_TRUE(redAt(viewer, 0, box.height() - 1)) << "the last row";
    }
    EXPECT_EQ(sizeOf(viewer.IMAGE_MiniPreview), last);
  }
}

// Ten twips a unit in each direction on its own, past the 16-bit 3276 units.
// An arrow moves the picture by the small change at once; a dragged thumb
// moves it only when let go.
TEST_F(Viewer, ScrollingMovesThePictureTenTwipsAUnitAndByAThumbWhenLetGo) {
  FORM_MiniTavlo& viewer = open({50000, 12000});
  viewer.VScroll1.setValue(100);
  for (const std::int32_t value : {400, 3276, 3277, 0}) {
    viewer.HScroll1.setValue(value);
    EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.left(), -10.0f * static_cast<float>(value));
  }
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.top(), -1000);

  QScrollBar* bar = viewer.HScroll1.scrollBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 4, bar->height() / 2));
  EXPECT_EQ(viewer.HScroll1.value(), 874);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.left(), -8740);
  // The thumb covers a third of the track, a sixth of the way along.
  const QPoint onThumb(bar->width() / 4, bar->height() / 2);
  QTest::mousePress(bar, Qt::LeftButton, {}, onThumb);
  QTest::mouseMove(bar, onThumb + QPoint(600, 0));
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.left(), -8740);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, onThumb + QPoint(600, 0));
  EXPECT_GT(viewer.HScroll1.value(), 874);
  EXPECT_FLOAT_EQ(viewer.IMAGE_MiniPreview.left(), -10.0f * static_cast<float>(viewer.HScroll1.value()));
}

TEST_F(Viewer, OnlyEscOfTheKeysClosesAndTheCornerBetweenTheScrollBarsDoesNothing) {
  FORM_MiniTavlo& viewer = open({20000, 12000});
  const QPoint corner(platform::twipsToPixelsX(15015 + 100), platform::twipsToPixelsY(10435 + 100));
  QTest::mouseClick(&viewer, Qt::LeftButton, {}, corner);
  QApplication::setActiveWindow(&viewer);
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_A}) QTest::keyClick(&viewer, key);
  EXPECT_TRUE(DefaultInstance<FORM_MiniTavlo>::exists());
  QTest::keyClick(&viewer, Qt::Key_Escape);
  EXPECT_FALSE(DefaultInstance<FORM_MiniTavlo>::exists());
  EXPECT_EQ(seams.processExit->exits.size(), 1u);
}

}  // namespace
