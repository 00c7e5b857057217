#include "platform/desktop/Screen.h"

#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/Seams.h"

#include <QCursor>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace platform {

namespace {

int mousePointerInForce = Screen::DefaultPointer;
// Background work the user waits for (a folder being read) also shows the hourglass.
int busyHolds = 0;

// The hourglass while the pointer property says so or background work is held.
void showPointer() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  const bool busy = mousePointerInForce == Screen::Hourglass || busyHolds > 0;
  const QCursor* shown = QGuiApplication::overrideCursor();
  if (busy && shown && shown->shape() == Qt::WaitCursor) return;
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  if (busy) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

float twipsPerPixelFor(double dpi) { return dpi > 0 ? static_cast<float>(1440.0 / dpi) : 15.0f; }

int roundToPixels(double twips, float perPixel) {
  const double pixels = std::nearbyint(twips / perPixel);
  // Widgets cannot be larger than this; clamp rather than wrap.
  constexpr double limit = 16777215.0;
  return static_cast<int>(std::clamp(pixels, -limit, limit));
}

// A property of the first screen's root window, whole; empty where it is
// not set or not of bytes. Profiles of displays are a few kilobytes; one
// beyond 8 MB is no profile.
QByteArray rootWindowBytes(xcb_connection_t* connection, const char* name) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (!screen) return {};
  const auto atomCookie = xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name);
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
      xcb_intern_atom_reply(connection, atomCookie, nullptr), &std::free);
  if (!atom || atom->atom == XCB_ATOM_NONE) return {};
  constexpr std::uint32_t LongestInWords = (8u << 20) / 4;
  const auto cookie =
      xcb_get_property(connection, 0, screen->root, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, LongestInWords);
  const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection, cookie, nullptr), &std::free);
  if (!reply || reply->format != 8 || reply->bytes_after != 0) return {};
  return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                    xcb_get_property_value_length(reply.get()));
}

}  // namespace

QByteArray Screen::colourProfile() {
  const auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  const auto* x11 = application ? application->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  return connection ? rootWindowBytes(connection, "_ICC_PROFILE") : QByteArray();
}

namespace Screen {

float width() { return static_cast<float>(seams().screenMetrics->widthPixels()) * twipsPerPixelX(); }
float height() { return static_cast<float>(seams().screenMetrics->heightPixels()) * twipsPerPixelY(); }
float twipsPerPixelX() { return twipsPerPixelFor(seams().screenMetrics->logicalDpiX()); }
float twipsPerPixelY() { return twipsPerPixelFor(seams().screenMetrics->logicalDpiY()); }

void setMousePointer(int pointer) {
  mousePointerInForce = pointer;
  showPointer();
}

int mousePointer() { return mousePointerInForce; }

void holdBusyPointer() {
  ++busyHolds;
  showPointer();
}

void releaseBusyPointer() {
  busyHolds = std::max(0, busyHolds - 1);
  showPointer();
}

}  // namespace Screen

void checkedPixels(double twips, float twipsPerPixel) {
  if (!(std::abs(twips / twipsPerPixel) <= 16777215.0)) raise(errors::InvalidPropertyValue);
}

int twipsToPixelsX(double twips) { return roundToPixels(twips, Screen::twipsPerPixelX()); }
int twipsToPixelsY(double twips) { return roundToPixels(twips, Screen::twipsPerPixelY()); }

}  // namespace platform
