#pragma once

// Camera RAW pictures (DNG, CR2, CR3, NEF, ARW, ORF, RW2, RAF, PEF, SRW and
// the others LibRaw reads): in the decoder worker alone, like every decoder.

#include "platform/pictures/ColourProfiles.h"
#include "platform/pictures/RasterDecoding.h"

#include <QByteArray>
#include <QSize>

#include <optional>

namespace platform {

class BackgroundWork;
class ReadableFile;

// Whether the first bytes may begin a camera's RAW file: LibRaw is then
// asked; a TIFF it does not take for a camera's is left to the others.
bool mayBeRaw(const QByteArray& firstBytes);

// The picture as the camera orients it, in sRGB (or the display's colours):
// for a box, from the camera's embedded JPEG where that is large enough,
// reduced to fill it; whole, from the embedded JPEG where that is the
// picture's full size, else developed by LibRaw (the camera's white balance,
// sRGB). The natural size is always the picture's own. Nothing where LibRaw
// does not take the file for a camera's; raises the invalid picture error for
// damaged data and a picture beyond the allocation limit.
std::optional<DecodedRaster> decodeRaw(const ReadableFile& file, QSize box, ColourTarget target,
                                       const BackgroundWork* work);

}  // namespace platform
