// The checks on raw picture bytes that catch damage the decoders let through.
#include "platform/pictures/PictureFile.h"
#include "support/PictureBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

using platform::jpegIsComplete;
using platform::plausibleBitmapHeader;

namespace {

QByteArray bytes(const char* text) { return QByteArray(text, static_cast<qsizetype>(std::strlen(text))); }

TEST(PictureFileChecks, JpegIsCompleteOnlyWithAnEndMarkerAfterItsLastScan) {
  const QByteArray start("\xFF\xD8", 2), end("\xFF\xD9", 2);
  const QByteArray scan = bytes("\xFF\xDA\x01\x02");
  const QByteArray data = bytes("\x11\x22\x33");
  const QByteArray stuffed = QByteArray("\x44\xFF\x00\x55", 4);  // 0xFF inside the data
  const QByteArray restart = bytes("\xFF\xD0\x66");
  // An embedded thumbnail, itself a whole JPEG, in an APP1 block.
  const QByteArray thumbnail = QByteArray("\xFF\xE1\x00\x10", 4) + start + scan + data + end;
  const struct {
    QByteArray jpeg;
    bool complete;
    const char* label;
  } cases[] = {
      {QByteArray(), false, "no bytes"},
      {start, false, "start only"},
      {start + end, false, "no scan at all"},
      {start + scan + data + end, true, "one scan"},
      {start + scan + data, false, "cut in the scan"},
      {start + scan + data + "\xFF", false, "cut inside the end marker"},
      {start + scan + stuffed + restart + end, true, "stuffed byte and restart marker"},
      {start + scan + stuffed + restart, false, "stuffed byte is no end"},
      {start + scan + data + "\xFF\xFF\xD9", true, "fill byte before the end marker"},
      {start + scan + end, true, "end marker right after the scan header"},
      {start + scan + data + scan + data + end, true, "progressive, all scans"},
      {start + scan + data + scan + data, false, "progressive, last scan cut"},
      {start + thumbnail + scan + data + end, true, "thumbnail and whole picture"},
      {start + thumbnail + scan + data, false, "whole thumbnail, picture cut"},
      {start + scan + data + end + "trailing bytes", true, "bytes after the end"},
  };
  for (const auto& c : cases) EXPECT_EQ(jpegIsComplete(c.jpeg), c.complete) << c.label;
}

TEST(PictureFileChecks, BitmapHeaderMustNotPromiseFarMorePixelsThanTheFileHolds) {
  // 101 pixels of 24 bits: 303 bytes a row, 304 with padding.
  const QByteArray tenRows(3040, '\x20');
  constexpr auto Rgb = 0u, Rle8 = 1u, BitFields = 3u;
  constexpr std::int32_t Most = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t Least = std::numeric_limits<std::int32_t>::min();
  QByteArray coreHeader = bitmapFile(60000, 60000, 24, Rgb);
  coreHeader[14] = 12;  // the old 12-byte header, which this check leaves alone
  const struct {
    QByteArray file;
    bool plausible;
    const char* label;
  } cases[] = {
      {QByteArray(), true, "no bytes"},
      {bytes("GIF89a, not a bitmap at all"), true, "another format"},
      {bitmapFile(101, 10, 24, Rgb, tenRows), true, "all rows"},
      {bitmapFile(101, 10, 24, Rgb, tenRows.chopped(1)), true, "last row without its padding"},
      {bitmapFile(101, 10, 24, Rgb, tenRows.left(1520)), false, "half the rows"},
      {bitmapFile(101, -10, 24, Rgb, tenRows.left(1520)), false, "half the rows, top down"},
      {bitmapFile(101, 10, 32, BitFields, tenRows), false, "bit fields: 4040 bytes promised"},
      {bitmapFile(60000, 60000, 24, Rgb), false, "60000 by 60000, no data"},
      {bitmapFile(8, Least, 24, Rgb), false, "most negative height"},
      {bitmapFile(Most, 1, 32, Rgb), false, "widest row"},
      {bitmapFile(100'000'000, 1, 32, Rgb), false, "one row of 400 MB, no data"},
      {bitmapFile(Most, Least, 0xFFFF, Rgb), false, "2^31 rows of 2^47 bits: more than 64 bits can count"},
      {bitmapFile(60000, 60000, 8, Rle8), true, "compressed: left to the decoder"},
      {coreHeader, true, "old header"},
  };
  for (const auto& c : cases) EXPECT_EQ(plausibleBitmapHeader(c.file), c.plausible) << c.label;
}

}  // namespace
