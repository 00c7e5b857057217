#pragma once

#include <QByteArray>

#include <cstdint>

namespace platform {

// The screen as the program sees it: geometry in twips, and one
// application-wide mouse pointer.
namespace Screen {

inline constexpr int DefaultPointer = 0;
inline constexpr int Hourglass = 11;

float width();
float height();
// Twips per pixel from the screen's logical resolution (15 at 96 DPI).
float twipsPerPixelX();
float twipsPerPixelY();

// The display's colour profile, as colour managers publish it on X11 (the
// root window's _ICC_PROFILE); empty where there is none, and on Wayland,
// whose displays show sRGB.
QByteArray colourProfile();

// The pointer is set, not stacked: setting the default after any number of
// hourglasses shows the ordinary pointer again.
void setMousePointer(int pointer);
int mousePointer();

// While background work the user waits for is held (a folder being read),
// the hourglass shows whatever the pointer property says; mousePointer()
// still gives the property.
void holdBusyPointer();
void releaseBusyPointer();

}  // namespace Screen

// Twips to whole pixels for placing widgets: divide by twips per pixel and
// round to nearest.
int twipsToPixelsX(double twips);
int twipsToPixelsY(double twips);
// Raises the invalid property value error when a length in twips is beyond
// the largest widget (16,777,215 pixels).
void checkedPixels(double twips, float twipsPerPixel);

}  // namespace platform
