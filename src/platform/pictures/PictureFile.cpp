#include "platform/pictures/PictureFile.h"

#include "platform/desktop/FileAccess.h"
#include "platform/pictures/LittleEndian.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Inside entropy-coded data 0xFF is always followed by 0x00 or a restart
// marker, so a start-of-scan or end-of-image marker can only be a real one.
// Embedded thumbnails come before the main picture's scans. Walking back
// from the end, the last scan must come after an end-of-image marker has
// been seen.
template <class ReadAt>
bool endsAfterItsLastScan(std::int64_t size, ReadAt readAt) {
  constexpr std::int64_t ChunkBytes = 64 * 1024;
  constexpr std::uint8_t Marker = 0xFF, StartOfScan = 0xDA, EndOfImage = 0xD9;
  bool endSeen = false;
  int following = -1;  // the byte after this chunk, once one was read
  for (std::int64_t end = size; end > 0;) {
    const std::int64_t start = std::max<std::int64_t>(0, end - ChunkBytes);
    const QByteArray chunk = readAt(start, end - start);
    if (chunk.size() != end - start) return false;
    const auto* data = reinterpret_cast<const std::uint8_t*>(chunk.constData());
    for (auto length = static_cast<std::size_t>(chunk.size());;) {
      const void* found = ::memrchr(data, Marker, length);
      if (!found) break;
      const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
      const int next = at + 1 < static_cast<std::size_t>(chunk.size()) ? data[at + 1] : following;
      if (next == StartOfScan) return endSeen;
      if (next == EndOfImage) endSeen = true;
      length = at;
    }
    following = data[0];
    end = start;
  }
  return false;
}

}  // namespace

bool jpegIsComplete(const QByteArray& bytes) {
  return endsAfterItsLastScan(bytes.size(), [&](std::int64_t at, std::int64_t length) {
    return bytes.mid(static_cast<qsizetype>(at), static_cast<qsizetype>(length));
  });
}

bool jpegIsComplete(const ReadableFile& file) {
  return endsAfterItsLastScan(file.size(),
                              [&](std::int64_t at, std::int64_t length) { return file.readAt(at, length); });
}

bool plausibleBitmapHeader(const QByteArray& bytes, std::int64_t fileSize) {
  if (fileSize < 0) fileSize = bytes.size();
  constexpr qsizetype FileHeader = 14;
  if (bytes.size() < FileHeader + 16 || !bytes.startsWith("BM")) return true;
  const LittleEndianReader data(bytes);
  const std::uint32_t headerSize = data.u32(FileHeader);
  if (headerSize < 40 || bytes.size() < FileHeader + 40) return true;
  const std::int32_t width = data.i32(FileHeader + 4);
  const std::int32_t height = data.i32(FileHeader + 8);
  const std::uint16_t bitsPerPixel = data.u16(FileHeader + 14);
  const std::uint32_t compression = data.u32(FileHeader + 16);
  constexpr std::uint32_t Uncompressed = 0, BitFields = 3;
  if (compression != Uncompressed && compression != BitFields) return true;
  // Unsigned, and at most 2^31 pixels of 2^16 bits: a row's bits fit in 48 bits.
  const auto magnitude = [](std::int32_t value) {
    return static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(value)));
  };
  const std::uint64_t rows = magnitude(height);
  const std::uint64_t rowBits = magnitude(width) * bitsPerPixel;
  const std::uint64_t stride = (rowBits + 31) / 32 * 4;
  // Some writers drop the padding of the last row; allow for it, and no more.
  const std::uint64_t padding = stride - (rowBits + 7) / 8;
  const std::uint64_t room = static_cast<std::uint64_t>(fileSize) + padding;
  // stride * rows <= room, without forming a product that can pass 64 bits.
  return rows == 0 || stride <= room / rows;
}

std::optional<ReplacedStart> bitmapHeadersQtReads(const QByteArray& first, std::int64_t fileSize) {
  constexpr qsizetype FileHeader = 14;
  constexpr std::uint32_t WithAlphaMask = 56, WithColourMasks = 52, Version4 = 108;
  const LittleEndianReader data(first);
  const std::uint32_t headerSize = data.u32(FileHeader);
  if (!first.startsWith("BM") || (headerSize != WithColourMasks && headerSize != WithAlphaMask) ||
      !data.has(FileHeader, headerSize))
    return std::nullopt;
  const std::uint32_t pixelsAt = data.u32(10);
  // Pixels inside the header or past the end: damaged, and left so.
  if (pixelsAt < FileHeader + headerSize || pixelsAt > fileSize) return std::nullopt;
  // The 108-byte header begins as these do (the alpha mask 0 when absent);
  // what follows is the colour space, here sRGB, and fields Qt leaves alone.
  const auto added = static_cast<qsizetype>(Version4 - headerSize);
  QByteArray extension(added, '\0');
  qToLittleEndian<std::uint32_t>(0x73524742, extension.data() + (WithAlphaMask - headerSize));  // 'sRGB'
  QByteArray shown = first.left(FileHeader + headerSize) + extension;
  qToLittleEndian<std::uint32_t>(data.u32(2) + static_cast<std::uint32_t>(added), shown.data() + 2);
  qToLittleEndian<std::uint32_t>(pixelsAt + static_cast<std::uint32_t>(added), shown.data() + 10);
  qToLittleEndian<std::uint32_t>(Version4, shown.data() + FileHeader);
  return ReplacedStart{shown, FileHeader + headerSize};
}

}  // namespace platform
