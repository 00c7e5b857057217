#include "platform/desktop/Screen.h"

#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/Seams.h"

#include <QCursor>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <limits>

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

}  // namespace

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
