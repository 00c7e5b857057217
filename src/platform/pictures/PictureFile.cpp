#include "platform/pictures/PictureFile.h"

#include "platform/pictures/LittleEndian.h"

#include <cstdint>
#include <cstdlib>

namespace platform {

bool jpegIsComplete(const QByteArray& bytes) {
  // Inside entropy-coded data 0xFF is always followed by 0x00 or a restart
  // marker, so a start-of-scan or end-of-image marker can only be a real one.
  // Embedded thumbnails come before the main picture's scans.
  const char* data = bytes.constData();
  const qsizetype size = bytes.size();
  qsizetype lastScan = -1;
  for (qsizetype i = 0; i + 1 < size; ++i)
    if (static_cast<std::uint8_t>(data[i]) == 0xFF && static_cast<std::uint8_t>(data[i + 1]) == 0xDA) lastScan = i;
  if (lastScan < 0) return false;
  for (qsizetype i = lastScan + 2; i + 1 < size; ++i)
    if (static_cast<std::uint8_t>(data[i]) == 0xFF && static_cast<std::uint8_t>(data[i + 1]) == 0xD9) return true;
  return false;
}

bool plausibleBitmapHeader(const QByteArray& bytes) {
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
  const std::uint64_t room = static_cast<std::uint64_t>(bytes.size()) + padding;
  // stride * rows <= room, without forming a product that can pass 64 bits.
  return rows == 0 || stride <= room / rows;
}

QByteArray withBitmapHeaderQtReads(const QByteArray& bytes) {
  constexpr qsizetype FileHeader = 14;
  constexpr std::uint32_t WithAlphaMask = 56, WithColourMasks = 52, Version4 = 108;
  const LittleEndianReader data(bytes);
  const std::uint32_t headerSize = data.u32(FileHeader);
  if (!bytes.startsWith("BM") || (headerSize != WithColourMasks && headerSize != WithAlphaMask) ||
      !data.has(FileHeader, headerSize))
    return bytes;
  const std::uint32_t pixelsAt = data.u32(10);
  // Pixels inside the header or past the end: damaged, and left so.
  if (pixelsAt < FileHeader + headerSize || pixelsAt > bytes.size()) return bytes;
  // The 108-byte header begins as these do (the alpha mask 0 when absent);
  // what follows is the colour space, here sRGB, and fields Qt leaves alone.
  const auto added = static_cast<qsizetype>(Version4 - headerSize);
  QByteArray extension(added, '\0');
  qToLittleEndian<std::uint32_t>(0x73524742, extension.data() + (WithAlphaMask - headerSize));  // 'sRGB'
  QByteArray shown = bytes.left(FileHeader + headerSize) + extension + bytes.mid(FileHeader + headerSize);
  qToLittleEndian<std::uint32_t>(data.u32(2) + static_cast<std::uint32_t>(added), shown.data() + 2);
  qToLittleEndian<std::uint32_t>(pixelsAt + static_cast<std::uint32_t>(added), shown.data() + 10);
  qToLittleEndian<std::uint32_t>(Version4, shown.data() + FileHeader);
  return shown;
}

}  // namespace platform
