#pragma once

#include <QByteArray>

#include <cstdint>

namespace platform {

class ReadableFile;

// Checks on a picture file's raw bytes that catch damage the decoders let through.

// A JPEG is complete when its last scan is followed by the end-of-image marker.
bool jpegIsComplete(const QByteArray& bytes);
// The same for a file, read from its end backwards only as far as needed.
bool jpegIsComplete(const ReadableFile& file);

// A Windows bitmap whose header declares far more pixel data than the file
// holds is damaged; other data passes unchecked. The bytes are the file's
// first ones, at least its headers; the file is that long (by default, as
// long as the bytes).
bool plausibleBitmapHeader(const QByteArray& bytes, std::int64_t fileSize = -1);

}  // namespace platform
