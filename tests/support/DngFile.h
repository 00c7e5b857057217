#pragma once

// A small DNG, as a camera writes one: a JPEG preview in its first IFD, and
// in a sub-IFD the sensor's data, 16 bits a photosite under an RGGB Bayer
// pattern, with the colour matrix and white balance a raw converter needs.

#include <QByteArray>
#include <QImage>

// The sensor's data is the picture given (each photosite takes its colour's
// channel, scaled to 16 bits); the preview is the JPEG of the other picture.
// The orientation is TIFF's (1 upright, 6 a quarter turn clockwise).
QByteArray dngFile(const QImage& sensor, const QImage& preview, int orientation = 1);
