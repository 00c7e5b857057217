// Loading pictures: handles and natural size, every way a path or its data
// can fail to give a picture, and what the loader itself makes of the
// formats: colour masks, icons, turned photos decoded small, damaged files;
// and the checks on raw picture bytes that catch damage the decoders let through.
#include "platform/pictures/Picture.h"
#include "platform/pictures/PictureFile.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/PictureBytes.h"
#include "support/RaisedError.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <limits>
#include <tuple>
#include <vector>

using platform::Picture;
namespace errors = platform::errors;

namespace {

using PictureLoad = FreshProgram;

QByteArray encoded(const QImage& image, const char* format, bool progressive = false) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  QImageWriter writer(&buffer, format);
  writer.setQuality(90);
  writer.setProgressiveScanWrite(progressive);
  EXPECT_TRUE(writer.write(image));
  return bytes;
}

TEST_F(PictureLoad, HandleIsNonZeroExactlyWhileAPictureIsHeldAndSizeIsInTwipsOfEachAxis) {
  const Picture none = Picture::load(QString());  // no path: the empty picture
  EXPECT_TRUE(none.isEmpty());
  EXPECT_EQ(none.handle(), 0u);
  EXPECT_EQ(QSizeF(none.width(), none.height()), QSizeF(0, 0));

  const QString path = writePicture(QStringLiteral("wide.bmp"), 37, 11);
  Picture first = Picture::load(path);
  const Picture second = Picture::load(path), copy = first;
  EXPECT_TRUE(first.handle() != 0 && first.handle() != second.handle() && copy.handle() == first.handle());
  first = Picture();
  EXPECT_EQ(first.handle(), 0u);
  EXPECT_EQ(copy.pixelSize(), QSize(37, 11));
  EXPECT_EQ(QSizeF(copy.width(), copy.height()), QSizeF(37 * 15, 11 * 15));
  seams.screen->dpiY = 144;  // 10 twips per pixel down, still 15 across
  EXPECT_EQ(QSizeF(copy.width(), copy.height()), QSizeF(37 * 15, 11 * 10));
}

TEST_F(PictureLoad, WhatIsNoReadableRegularFileFailsAtOnce) {
  writeFile(QStringLiteral("plain.jpg"), "x");
  ASSERT_TRUE(makeFifo(pathOf(QStringLiteral("fifo.jpg"))));
  ASSERT_TRUE(makeSocket(pathOf(QStringLiteral("socket.jpg"))));
  const QString locked = writePicture(QStringLiteral("locked.bmp"), 4, 4);
  ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions()));
  PermissionBitsApply ordinaryUser;  // else root reads it all the same
  const std::pair<QString, int> cases[] = {
      {pathOf(QStringLiteral("missing.jpg")), errors::FileNotFound},
      {pathOf(QStringLiteral("plain.jpg/inner.jpg")), errors::PathNotFound},
      {makeFolder(QStringLiteral("folder.jpg")), errors::PathFileAccessError},
      {pathOf(QStringLiteral("fifo.jpg")), errors::PathFileAccessError},  // blocking here would hang the test
      {pathOf(QStringLiteral("socket.jpg")), errors::PathFileAccessError},
      {locked, ordinaryUser.active() ? errors::PermissionDenied : 0},
  };
  for (const auto& [path, error] : cases) EXPECT_EQ(raisedError([&path = path] { Picture::load(path); }), error) << path.toStdString();
}

// A bitmap of one colour, run-length coded: small on disk, large decoded.
QByteArray oneColourBitmap(int side) {
  QByteArray runs;
  for (int row = 0; row < side; ++row) {
    for (int left = side; left > 0; left -= 255) runs.append(static_cast<char>(std::min(left, 255))).append('\1');
    runs.append(2, '\0');  // end of row
  }
  runs.append("\0\1", 2);  // end of picture
  return bitmapFile(side, side, 8, 1, runs, QByteArray::fromHex("00000000808080ff") + QByteArray(254 * 4, '\0'));
}

// A scan's header of a progressive JPEG with its first and last coefficient
// out of range: the decoder stops there, with the picture begun.
QByteArray withBadProgression(QByteArray jpeg, int scan) {
  qsizetype at = -1;
  for (int found = 0; found <= scan; ++found) at = jpeg.indexOf("\xFF\xDA", at + 1);
  jpeg[at + 5 + 2 * jpeg[at + 4]] = 70;
  jpeg[at + 6 + 2 * jpeg[at + 4]] = 80;
  return jpeg;
}

// The refusals are for the size or the missing data alone: the same headers
// at a small size load. The whole picture and a copy fitting a small box give
// the same answer.
TEST_F(PictureLoad, HandMadeAndCutFilesLoadOnlyWhenTheyHoldTheWholePicture) {
  const QByteArray jpeg = contentsOf(testData(QStringLiteral("pillow_hopper.jpg")));
  const QByteArray progressive = contentsOf(testData(QStringLiteral("pillow_app13-multiple.jpg")));
  const QSize Refused(0, 0);
  const std::tuple<const char*, QByteArray, QSize> cases[] = {  // the file, its bytes, the size loaded
      {"small.bmp", bitmapFile(2, 2, 24, 0, QByteArray(16, '\x40')), {2, 2}},
      {"small.gif", gifFile(1, 1), {1, 1}},
      // 144 MB decoded, beyond the 128 MB the decoders allow by default.
      {"large-runs.bmp", oneColourBitmap(12000), {12000, 12000}},
      {"words.jpg", "Just some words, no picture at all.\r\n", Refused},
      {"empty.bmp", QByteArray(), Refused},
      {"half.jpg", jpeg.left(jpeg.size() / 2), Refused},
      {"cut-progressive.jpg", progressive.left(progressive.size() * 3 / 4), Refused},
      {"bad-progression.jpg", withBadProgression(progressive, 3), Refused},
      // 60000 by 60000 pixels (several gigabytes decoded): refused without
      // trying to find the memory.
      {"huge.bmp", bitmapFile(60000, 60000, 24, 0), Refused},
      {"huge-top-down.bmp", bitmapFile(60000, -60000, 32, 0), Refused},
      {"huge.gif", gifFile(60000, 60000), Refused},
      // Small enough to be decoded, but the file holds none of its 192 MB of pixels.
      {"large.bmp", bitmapFile(8000, 8000, 24, 0, QByteArray(64, '\x7F')), Refused},
  };
  for (const auto& [name, bytes, loaded] : cases) {
    const QString path = writeFile(QString::fromLatin1(name), bytes);
    for (const QSize box : {QSize(), QSize(16, 16)}) {
      SCOPED_TRACE(testing::Message() << name << " in a box of " << box.width());
      Picture picture;
      const int error = raisedError([&] { picture = box.isValid() ? Picture::loadFitting(path, box) : Picture::load(path); });
      EXPECT_EQ(error, loaded == Refused ? errors::InvalidPicture : 0);
      EXPECT_EQ(picture.pixelSize(), loaded);
    }
  }
}

// Colour masks in a 56-byte header, with the alpha mask, as photo editors
// write them, and in a 52-byte one, without: two by two, bottom row first.
TEST_F(PictureLoad, BitmapColourMasksAndShortPalettesGiveTheColoursMeant) {
  QByteArray pixels, masks;
  for (const std::uint32_t pixel : {0xFFFF0000u, 0x8000FF00u, 0xFF0000FFu, 0u}) appendLittle32(pixels, pixel);
  for (const std::uint32_t mask : {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}) appendLittle32(masks, mask);
  for (const int maskBytes : {16, 12}) {
    SCOPED_TRACE(maskBytes);
    const QString path = writeFile(QStringLiteral("masks%1.bmp").arg(maskBytes),
                                   bitmapFile(2, 2, 32, 3, pixels, {}, masks.left(maskBytes)));
    const QImage image = Picture::load(path).image().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(2, 2));
    const QRgb topDown[] = {0xFF0000FF, 0, 0xFFFF0000, 0x8000FF00}, opaque = maskBytes == 12 ? 0xFF000000 : 0;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(image.pixel(i % 2, i / 2), topDown[i] | opaque) << i;
  }
  // Colour indexes past a short palette (as damaged compressed bitmaps leave
  // them) are black, never what lies in memory after the palette.
  QByteArray palette;
  for (const std::uint32_t colour : {0xFFu, 0xFF0000u}) appendLittle32(palette, colour);  // blue, red
  QByteArray shortPalette = bitmapFile(2, 1, 8, 0, QByteArray("\x01\xC8\0\0", 4), palette);
  shortPalette[46] = 2;  // colours used
  const QImage indexed = Picture::load(writeFile(QStringLiteral("short.bmp"), shortPalette)).image();
  EXPECT_EQ(indexed.pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(indexed.pixel(1, 0), 0xFF000000u);
}

TEST_F(PictureLoad, IconShowsItsLargestEntryWhereverItStands) {
  QByteArray directory = QByteArray::fromHex("000001000300"), images;  // an icon of three entries
  for (const auto& [side, colour] : {std::pair{16, Qt::red}, std::pair{48, Qt::green}, std::pair{32, Qt::blue}}) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    const QByteArray png = encoded(image, "PNG");
    directory.append(static_cast<char>(side)).append(static_cast<char>(side)).append(2, '\0');  // colours, reserved
    // One plane of 32 bits a pixel, the entry's bytes and where they start.
    for (const auto value : {1 | 32 << 16, static_cast<int>(png.size()), static_cast<int>(6 + 16 * 3 + images.size())})
      appendLittle32(directory, static_cast<std::uint32_t>(value));
    images += png;
  }
  const Picture icon = Picture::load(writeFile(QStringLiteral("three.ico"), directory + images));
  EXPECT_EQ(icon.pixelSize(), QSize(48, 48));
  EXPECT_EQ(icon.image().pixel(24, 24), QColor(Qt::green).rgb());
}

// The JPEG with an EXIF block in front that gives the orientation.
QByteArray withOrientation(const QByteArray& jpeg, int orientation) {
  // A big-endian TIFF header, its directory at 8 with one entry: Orientation,
  // a SHORT; then padding and no further directory.
  QByteArray exif("Exif\0\0MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 25);
  exif.append(static_cast<char>(orientation)).append(6, '\0');
  return jpeg.left(2) + QByteArray("\xFF\xE1\0", 3) + static_cast<char>(exif.size() + 2) + exif + jpeg.mid(2);
}

// Mean difference of two pictures of one size, per colour channel.
double meanDifference(const QImage& a, const QImage& b) {
  const QImage left = a.convertToFormat(QImage::Format_RGB32), right = b.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  for (int y = 0; y < left.height(); ++y)
    for (int x = 0; x < left.width(); ++x) {
      const QRgb p = left.pixel(x, y), q = right.pixel(x, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * left.width() * left.height());
}

// A picture loaded for the preview box is decoded small, yet looks as the
// whole picture scaled down, turned as the photo says, keeps its natural
// size, and gives the whole picture when asked.
TEST_F(PictureLoad, AReducedDecodeMatchesTheWholePictureScaledDown) {
  // A photo enlarged: detail for the decoders to keep.
  const QImage picture = QImage(testData(QStringLiteral("pillow_hopper.jpg"))).scaled(1000, 640, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QByteArray jpeg = encoded(picture, "JPEG");
  std::vector<std::tuple<QString, QByteArray, QSize>> cases = {
      {"progressive.jpg", encoded(picture, "JPEG", true), {1000, 640}},
      {"grey.jpg", encoded(picture.convertToFormat(QImage::Format_Grayscale8), "JPEG"), {1000, 640}},
      {"plain.png", encoded(picture, "PNG"), {1000, 640}},
  };
  for (int orientation = 1; orientation <= 8; ++orientation)  // from 5 on, turned a quarter
    cases.emplace_back(QStringLiteral("turned%1.jpg").arg(orientation), withOrientation(jpeg, orientation),
                       orientation < 5 ? QSize(1000, 640) : QSize(640, 1000));
  for (const auto& [name, bytes, natural] : cases) {
    SCOPED_TRACE(name.toStdString());
    const QString path = writeFile(name, bytes);
    const Picture reduced = Picture::loadFitting(path, QSize(105, 105));
    ASSERT_EQ(reduced.pixelSize(), natural);
    const QSize shown = natural.scaled(105, 105, Qt::KeepAspectRatio);
    QImage canvas(shown, QImage::Format_RGB32);
    reduced.prepareDrawing(shown);
    QPainter painter(&canvas);
    reduced.draw(painter, canvas.rect(), canvas.rect());
    painter.end();
    const QImage whole = Picture::load(path).image();
    ASSERT_EQ(whole.size(), natural);
    EXPECT_LT(meanDifference(canvas, whole.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)), 6.0);
    EXPECT_EQ(reduced.image(), whole);
  }
}

TEST_F(PictureLoad, DamagedFilesAreDecodedOrRefusedNeverMore) {
  const QDir broken(testData(QStringLiteral("broken")));
  ASSERT_GE(broken.entryList(QDir::Files).size(), 10);
  for (const QString& file : broken.entryList(QDir::Files)) {
    SCOPED_TRACE(file.toStdString());
    Picture picture;
    const int error = raisedError([&] { picture = Picture::load(broken.filePath(file)); });
    // Decoders fill the missing rows of a bitmap that ends early; it, and
    // every damaged metafile, is refused instead.
    if (error != 0 || file.endsWith(QStringLiteral("mf")) || file == QStringLiteral("bmpsuite_b_shortfile.bmp")) {
      EXPECT_EQ(error, errors::InvalidPicture);
      continue;
    }
    EXPECT_NE(picture.handle(), 0u);
    // None of them really holds more than 128 by 128 pixels; a forged header
    // must not turn into a larger picture.
    EXPECT_LE(picture.pixelSize().width(), 128);
    EXPECT_LE(picture.pixelSize().height(), 128);
  }
}

TEST(PictureFileChecks, JpegIsCompleteOnlyWithAnEndMarkerAfterItsLastScan) {
  const QByteArray start("\xFF\xD8", 2), end("\xFF\xD9", 2);
  const QByteArray scan("\xFF\xDA\x01\x02"), data("\x11\x22\x33"), restart("\xFF\xD0\x66");
  const QByteArray stuffed("\x44\xFF\x00\x55", 4);  // 0xFF inside the data
  // An embedded thumbnail, itself a whole JPEG, in an APP1 block.
  const QByteArray thumbnail = QByteArray("\xFF\xE1\x00\x10", 4) + start + scan + data + end;
  const std::tuple<QByteArray, bool, const char*> cases[] = {  // the bytes, complete, what they are
      {QByteArray(), false, "no bytes"},
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
  for (const auto& [jpeg, complete, label] : cases) EXPECT_EQ(platform::jpegIsComplete(jpeg), complete) << label;
}

TEST(PictureFileChecks, BitmapHeaderMustNotPromiseFarMorePixelsThanTheFileHolds) {
  // 101 pixels of 24 bits: 303 bytes a row, 304 with padding.
  const QByteArray tenRows(3040, '\x20');
  constexpr auto Rgb = 0u, Rle8 = 1u, BitFields = 3u;
  constexpr std::int32_t Most = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t Least = std::numeric_limits<std::int32_t>::min();
  QByteArray coreHeader = bitmapFile(60000, 60000, 24, Rgb);
  coreHeader[14] = 12;  // the old 12-byte header, which this check leaves alone
  const std::tuple<QByteArray, bool, const char*> cases[] = {  // the file, plausible, what it is
      {"GIF89a, not a bitmap at all", true, "another format"},
      {bitmapFile(101, 10, 24, Rgb, tenRows), true, "all rows"},
      {bitmapFile(101, 10, 24, Rgb, tenRows.chopped(1)), true, "last row without its padding"},
      {bitmapFile(101, 10, 24, Rgb, tenRows.left(1520)), false, "half the rows"},
      {bitmapFile(101, -10, 24, Rgb, tenRows.left(1520)), false, "half the rows, top down"},
      {bitmapFile(101, 10, 32, BitFields, tenRows), false, "bit fields: 4040 bytes promised"},
      {bitmapFile(8, Least, 24, Rgb), false, "most negative height"},
      {bitmapFile(Most, 1, 32, Rgb), false, "widest row"},
      {bitmapFile(100'000'000, 1, 32, Rgb), false, "one row of 400 MB, no data"},
      {bitmapFile(Most, Least, 0xFFFF, Rgb), false, "2^31 rows of 2^47 bits: more than 64 bits can count"},
      {bitmapFile(60000, 60000, 8, Rle8), true, "compressed: left to the decoder"},
      {coreHeader, true, "old header"},
  };
  for (const auto& [file, plausible, label] : cases) EXPECT_EQ(platform::plausibleBitmapHeader(file), plausible) << label;
}

}  // namespace
