#include "platform/pictures/PictureFile.h"

#include "platform/desktop/FileAccess.h"
#include "platform/pictures/LittleEndian.h"

#include <algorithm>
#include <cstdint>
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
  const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  const std::int64_t rowBits = static_cast<std::int64_t>(width) * bitsPerPixel;
  const std::int64_t stride = ((rowBits + 31) / 32) * 4;
  const std::int64_t declared = stride * rows;
  // Some writers drop the padding of the last row; allow for it, and no more.
  const std::int64_t padding = stride - (rowBits + 7) / 8;
  return declared <= fileSize + padding;
}

}  // namespace platform
