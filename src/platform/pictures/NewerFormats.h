#pragma once

// The pictures of today's phones, web and cameras, read through libraries of
// their own: HEIC and AVIF (libheif), JPEG XL (libjxl) and cameras' RAW files
// (LibRaw). In the decoder worker alone, like every decoder. Each gives the
// picture upright as the file says, in the target's colours; for a box,
// reduced to fill it; the natural size always the picture's own. Each raises
// the invalid picture error for damaged data and a picture beyond the
// allocation limit.

#include "platform/pictures/ColourProfiles.h"
#include "platform/pictures/RasterDecoding.h"

#include <QByteArray>
#include <QSize>

#include <optional>

namespace platform {

class BackgroundWork;
class ReadableFile;

// Whether the first bytes (at least 12) begin a HEIF file libheif reads.
bool isHeif(const QByteArray& firstBytes);
// The primary picture, turned and mirrored as the file says; for a box, from
// the file's own thumbnail where that is large enough.
DecodedRaster decodeHeif(const ReadableFile& file, QSize box, ColourTarget target, const BackgroundWork* work);
// Readies libheif and its decoders, before the worker locks itself.
void prepareHeifDecoding();

// Whether the first bytes begin a JPEG XL file (a bare codestream or its
// container).
bool isJxl(const QByteArray& firstBytes);
// The picture, the first frame of an animation. (libjxl 0.7 gives a
// picture's first pass only drawn at its full size, which costs nearly what
// the rest of the decoding does: previews are decoded whole.)
DecodedRaster decodeJxl(const ReadableFile& file, QSize box, ColourTarget target, const BackgroundWork* work);

// Whether the first bytes may begin a camera's RAW file: LibRaw is then
// asked; a TIFF it does not take for a camera's is left to the others.
bool mayBeRaw(const QByteArray& firstBytes);
// The picture as the camera orients it, in sRGB: for a box, from the
// camera's embedded JPEG where that is large enough; whole, from the embedded
// JPEG where that is the picture's full size, else developed by LibRaw (the
// camera's white balance, sRGB). Nothing where LibRaw does not take the file
// for a camera's.
std::optional<DecodedRaster> decodeRaw(const ReadableFile& file, QSize box, ColourTarget target,
                                       const BackgroundWork* work);
// Readies the run time LibRaw develops on several cores with, before the
// worker locks itself.
void prepareRawDecoding();

}  // namespace platform
