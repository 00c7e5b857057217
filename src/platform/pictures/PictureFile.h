#pragma once

#include <QByteArray>

namespace platform {

// Checks on a picture file's raw bytes that catch damage the decoders let through.

// A JPEG is complete when its last scan is followed by the end-of-image marker.
bool jpegIsComplete(const QByteArray& bytes);

// A Windows bitmap whose header declares far more pixel data than the file
// holds is damaged; other data passes unchecked.
bool plausibleBitmapHeader(const QByteArray& bytes);

}  // namespace platform
