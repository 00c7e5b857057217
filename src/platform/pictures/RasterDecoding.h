#pragma once

#include "platform/pictures/ColourProfiles.h"
#include "platform/pictures/Picture.h"

#include <QImage>
#include <QImageIOHandler>
#include <QSize>

#include <optional>

namespace platform {

class BackgroundWork;
class ReadableFile;

// A raster picture file's pixels, in the target's colours, upright as the
// file says it is turned: the whole picture, or, for a picture larger than
// a box, a reduced copy just large enough to fill it (its natural size read
// from its header).
struct DecodedRaster {
  QSize natural;
  QImage pixels;
  bool reduced = false;
};

// Decodes a raster picture file, whole when the box is not valid. Raises the
// invalid picture error for a file no decoder reads, damaged data, a JPEG
// that ends before its picture does, and a picture beyond the allocation
// limit; stops early, raising, once the work is cancelled.
DecodedRaster decodeRaster(const ReadableFile& file, QSize box, ColourTarget target, const BackgroundWork* work);

// Where the memory of large decoded pictures comes from: the heap, unless a
// process that hands its pictures on (the decoder worker) gives memory it
// can hand on as it is. Null where it cannot. The allocator may make the
// memory's pages ahead of the decoder on another core, unless the decoding
// does that itself (pagesMadeAhead).
using PictureAllocator = QImage (*)(QSize size, QImage::Format format, bool pagesMadeAhead);
void setPictureAllocator(PictureAllocator allocator);
QImage newPicture(QSize size, QImage::Format format, bool pagesMadeAhead = false);

// The size a picture larger than a valid box is reduced to: the smallest
// with its proportions that fills the box. Nothing where it is not reduced.
std::optional<QSize> reducedFor(QSize natural, QSize box);

// As a file says the picture is turned (a photo's orientation), the way Qt's
// decoders turn the pixels they read.
QImage turned(QImage image, QImageIOHandler::Transformations turn);

// Whether a picture of this size is beyond what is decoded.
inline bool overAllocationLimit(QSize size) {
  return static_cast<qint64>(size.width()) * size.height() * 4 > qint64{Picture::AllocationLimitMegabytes} << 20;
}

}  // namespace platform
