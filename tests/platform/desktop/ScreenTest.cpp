#include "platform/desktop/Screen.h"
#include "support/FreshProgram.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

namespace Screen = platform::Screen;

using ScreenTwips = FreshProgram;

// Each axis by its own resolution; pixels rounded to the nearest.
TEST_F(ScreenTwips, FollowTheLogicalResolutionOfEachAxis) {
  seams.screen->dpiX = 144;
  EXPECT_EQ(Screen::twipsPerPixelX(), 10);
  EXPECT_EQ(Screen::twipsPerPixelY(), 15);
  EXPECT_EQ(Screen::width(), 10240);
  EXPECT_EQ(Screen::height(), 11520);
  EXPECT_EQ(platform::twipsToPixelsX(1000), 100);
  EXPECT_EQ(platform::twipsToPixelsY(1000), 67);
}

// The hourglass is the application's override cursor, never stacked.
TEST_F(ScreenTwips, TheDefaultPointerLeavesNoHourglassBehind) {
  for (int i = 0; i < 2; ++i) {
    Screen::setMousePointer(Screen::Hourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  }
  Screen::setMousePointer(Screen::DefaultPointer);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Screen::mousePointer(), Screen::DefaultPointer);
}

}  // namespace
