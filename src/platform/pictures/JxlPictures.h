#pragma once

// JPEG XL pictures, read through libjxl: in the decoder worker alone, like
// every decoder.

#include "platform/pictures/ColourProfiles.h"
#include "platform/pictures/RasterDecoding.h"

#include <QByteArray>
#include <QSize>

namespace platform {

class BackgroundWork;
class ReadableFile;

// Whether the first bytes begin a JPEG XL file (a bare codestream or its
// container).
bool isJxl(const QByteArray& firstBytes);

// The picture (the first frame of an animation), turned as the file says,
// in the target's colours; for a box, reduced to fill it. (libjxl 0.7 gives
// a picture's first pass only drawn at its full size, which costs nearly
// what the rest of the decoding does: previews are decoded whole.) The
// natural size is always the picture's own. Raises the invalid picture
// error for damaged data and a picture beyond the allocation limit.
DecodedRaster decodeJxl(const ReadableFile& file, QSize box, ColourTarget target, const BackgroundWork* work);

}  // namespace platform
