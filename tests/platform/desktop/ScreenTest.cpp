#include "platform/desktop/Screen.h"
#include "support/FreshProgram.h"

#include <QCursor>
#include <QGuiApplication>

#include <vector>

namespace {

namespace Screen = platform::Screen;

using ScreenTwips = FreshProgram;

TEST_F(ScreenTwips, FollowTheLogicalResolution) {
  struct Case {
    double dpiX, dpiY;
    float perPixelX, perPixelY;
    int pixelsOf1000X;
  };
  for (const Case c : {Case{96, 96, 15, 15, 67}, Case{120, 120, 12, 12, 83}, Case{144, 96, 10, 15, 100}}) {
    SCOPED_TRACE(c.dpiX);
    seams.screen->dpiX = c.dpiX;
    seams.screen->dpiY = c.dpiY;
    EXPECT_EQ(Screen::twipsPerPixelX(), c.perPixelX);
    EXPECT_EQ(Screen::twipsPerPixelY(), c.perPixelY);
    EXPECT_EQ(Screen::width(), 1024 * c.perPixelX);
    EXPECT_EQ(Screen::height(), 768 * c.perPixelY);
    EXPECT_EQ(platform::twipsToPixelsX(1000), c.pixelsOf1000X);
    EXPECT_EQ(platform::twipsToPixelsY(1500), static_cast<int>(1500 / c.perPixelY));
  }
}

TEST_F(ScreenTwips, TheDefaultPointerLeavesNoHourglassBehind) {
  const std::vector<std::vector<int>> sequences = {{11, 0}, {11, 11, 0}, {0, 11, 0}, {11, 0, 0}};
  for (const auto& pointers : sequences) {
    for (const int pointer : pointers) {
      Screen::setMousePointer(pointer);
      EXPECT_EQ(Screen::mousePointer(), pointer);
      if (pointer == Screen::Hourglass) {
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
      }
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << pointers.size() << " settings";
  }
}

}  // namespace
