#pragma once

#include <QByteArray>

namespace platform {

// Checks on a picture file's raw bytes that catch damage the decoders let through.

// A JPEG is complete when its last scan is followed by the end-of-image marker.
bool jpegIsComplete(const QByteArray& bytes);

// A Windows bitmap whose header declares far more pixel data than the file
// holds is damaged; other data passes unchecked.
bool plausibleBitmapHeader(const QByteArray& bytes);

// Qt's bitmap reader does not know the 52- and 56-byte information headers
// (colour masks, and an alpha mask, in the header) that photo editors write;
// such a bitmap is given the 108-byte header it knows, with the same masks.
// Other data comes back as it is.
QByteArray withBitmapHeaderQtReads(const QByteArray& bytes);

}  // namespace platform
