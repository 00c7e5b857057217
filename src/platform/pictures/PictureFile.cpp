#include "platform/pictures/PictureFile.h"

#include "platform/pictures/LittleEndian.h"

#include <cstdint>

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
  const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  const std::int64_t rowBits = static_cast<std::int64_t>(width) * bitsPerPixel;
  const std::int64_t stride = ((rowBits + 31) / 32) * 4;
  const std::int64_t declared = stride * rows;
  // Some writers drop the padding of the last row; allow for it, and no more.
  const std::int64_t padding = stride - (rowBits + 7) / 8;
  return declared <= static_cast<std::int64_t>(bytes.size()) + padding;
}

}  // namespace platform
