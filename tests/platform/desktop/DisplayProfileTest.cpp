// The display's colour profile as X11's colour managers publish it, read
// from the root window of a display of the test's own, whose property the
// test sets and takes away (scripts/check-display-profile.sh starts one).
#include "platform/desktop/Screen.h"

#include <QColorSpace>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

namespace {

TEST(DisplayProfile, IsTheRootWindowsIccProfileOfBytes) {
  if (QGuiApplication::platformName() != QStringLiteral("xcb") || !qEnvironmentVariableIsSet("TAVLO_TEST_OWN_DISPLAY"))
    GTEST_SKIP() << "needs an X display of the test's own, whose root window it may change; "
                    "scripts/check-display-profile.sh runs it on one";
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  ASSERT_NE(x11, nullptr);
  xcb_connection_t* connection = x11->connection();
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 12, "_ICC_PROFILE"), nullptr), &std::free);
  ASSERT_TRUE(atom);
  const auto set = [&](std::uint8_t bits, const QByteArray& bytes) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, bits,
                        static_cast<std::uint32_t>(bytes.size() * 8 / bits), bytes.constData());
  };

  EXPECT_TRUE(platform::Screen::colourProfile().isEmpty()) << "none published";
  const QByteArray profile = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
  set(8, profile);
  EXPECT_EQ(platform::Screen::colourProfile(), profile);
  set(32, profile);
  EXPECT_TRUE(platform::Screen::colourProfile().isEmpty()) << "32-bit items are no profile";
  xcb_delete_property(connection, root, atom->atom);
  EXPECT_TRUE(platform::Screen::colourProfile().isEmpty()) << "taken away";
}

}  // namespace
