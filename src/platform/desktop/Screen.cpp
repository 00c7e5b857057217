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
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  if (pointer == Hourglass) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

int mousePointer() { return mousePointerInForce; }

}  // namespace Screen

void checkedPixels(double twips, float twipsPerPixel) {
  if (!(std::abs(twips / twipsPerPixel) <= 16777215.0)) raise(errors::InvalidPropertyValue);
}

int twipsToPixelsX(double twips) { return roundToPixels(twips, Screen::twipsPerPixelX()); }
int twipsToPixelsY(double twips) { return roundToPixels(twips, Screen::twipsPerPixelY()); }

}  // namespace platform
