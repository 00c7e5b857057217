#pragma once

// HEIF pictures, as phones save them (HEIC) and the web serves them (AVIF),
// read through libheif: in the decoder worker alone, like every decoder.

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

// The primary picture, turned and mirrored as the file says, in the target's
// colours; for a box, reduced to fill it, from the file's own thumbnail
// where that is large enough. The natural size is always the picture's own.
// Raises the invalid picture error for damaged data and a picture beyond the
// allocation limit.
DecodedRaster decodeHeif(const ReadableFile& file, QSize box, ColourTarget target, const BackgroundWork* work);

// Readies libheif and its decoders, before the worker locks itself.
void prepareHeifDecoding();

}  // namespace platform
