#pragma once

// Picture files put together byte by byte, for headers that no writer makes.

#include <QByteArray>

#include <cstdint>

inline void appendLittle16(QByteArray& bytes, std::uint32_t value) {
  bytes.append(static_cast<char>(value & 0xFF));
  bytes.append(static_cast<char>((value >> 8) & 0xFF));
}

inline void appendLittle32(QByteArray& bytes, std::uint32_t value) {
  appendLittle16(bytes, value & 0xFFFF);
  appendLittle16(bytes, value >> 16);
}

// A Windows bitmap: file header, information header (40 bytes, then the
// colour masks given for it, as the 52- and 56-byte headers hold them), the
// colour table, then the pixel data.
inline QByteArray bitmapFile(std::int32_t width, std::int32_t height, int bitsPerPixel, std::uint32_t compression,
                             const QByteArray& pixels = {}, const QByteArray& colourTable = {},
                             const QByteArray& headerMasks = {}) {
  const auto headerSize = static_cast<std::uint32_t>(40 + headerMasks.size());
  const auto pixelsAt = static_cast<std::uint32_t>(14 + headerSize + colourTable.size());
  QByteArray bytes("BM");
  // The file's size, reserved, where the pixels start; the header's size, width and height.
  for (const std::uint32_t value : {pixelsAt + static_cast<std::uint32_t>(pixels.size()), 0u, pixelsAt, headerSize,
                                    static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)})
    appendLittle32(bytes, value);
  appendLittle16(bytes, 1);
  appendLittle16(bytes, static_cast<std::uint32_t>(bitsPerPixel));
  appendLittle32(bytes, compression);
  for (int field = 0; field < 5; ++field) appendLittle32(bytes, 0);  // data size, resolution, colours
  return bytes + headerMasks + colourTable + pixels;
}

// A GIF whose screen and single image are width by height pixels, with the
// compressed data of one pixel only.
inline QByteArray gifFile(std::uint16_t width, std::uint16_t height) {
  QByteArray bytes("GIF89a");
  appendLittle16(bytes, width);
  appendLittle16(bytes, height);
  bytes.append("\x80\x00\x00", 3);              // a global table of two colours
  bytes.append("\x00\x00\x00\xFF\xFF\xFF", 6);  // black, white
  bytes.append(',');
  appendLittle32(bytes, 0);  // left, top
  appendLittle16(bytes, width);
  appendLittle16(bytes, height);
  bytes.append('\0');
  bytes.append("\x02\x02\x44\x01\x00", 5);  // code size 2: clear, colour 0, end
  bytes.append(';');
  return bytes;
}
