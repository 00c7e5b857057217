#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

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

// Bytes read in place of a file's first ones.
struct ReplacedStart {
  QByteArray bytes;
  std::int64_t replaces = 0;  // how many of the file's first bytes they stand for
};

// Qt's bitmap reader does not know the 52- and 56-byte information headers
// (colour masks, and an alpha mask, in the header) that photo editors write.
// For such a bitmap, given its first bytes and its length, the headers to
// read instead: the 108-byte header Qt knows, with the same masks. For other
// data, none.
std::optional<ReplacedStart> bitmapHeadersQtReads(const QByteArray& first, std::int64_t fileSize);

}  // namespace platform
