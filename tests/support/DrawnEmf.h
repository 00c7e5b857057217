#pragma once

// EMF pictures drawn through the GDI calls of libEMF, which records them as a
// Windows program's metafile would be. Its reference device is 1024 by 768
// pixels on 320 by 240 millimetres: 3.2 device units a millimetre.

#include <QByteArray>
#include <QRect>
#include <QRgb>

#include <vector>

struct EmfShape {
  enum class Kind { Rectangle, Text };
  Kind kind;
  QRect area;       // device units
  QRgb colour = 0;  // a rectangle's fill, a text's colour
  QByteArray text = {};
};

// An EMF with this frame, in hundredths of a millimetre, and these shapes
// drawn in order: rectangles filled without outline, text at an area's top
// left in a font as high as the area.
QByteArray drawnEmf(const QRect& frame, const std::vector<EmfShape>& shapes);
