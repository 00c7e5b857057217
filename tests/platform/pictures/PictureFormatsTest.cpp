// Picture files written by other programs, and damaged ones: what the loader
// makes of each format's variants.
#include "platform/pictures/Picture.h"
#include "support/FreshProgram.h"
#include "support/PictureBytes.h"
#include "support/RaisedError.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QImageWriter>
#include <QPainter>

#include <iterator>
#include <utility>

using platform::Picture;

namespace {

using PictureFormats = FreshProgram;

bool isBlue(QRgb pixel) { return qBlue(pixel) > 150 && qRed(pixel) < 100; }
bool isRed(QRgb pixel) { return qRed(pixel) > 150 && qBlue(pixel) < 100; }

QByteArray encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format, 95));
  return bytes;
}

TEST_F(PictureFormats, RealPicturesLoadWithTheirPixelSize) {
  const struct {
    const char* file;
    int width, height;
  } samples[] = {
      {"pillow_hopper.jpg", 128, 128},          // baseline
      {"pillow_app13-multiple.jpg", 256, 160},  // progressive
      {"pillow_hopper_gray.jpg", 128, 128},
      {"made_cmyk.jpg", 64, 40},
      {"pillow_transparent.gif", 200, 150},
      {"made_interlaced.gif", 200, 150},
      {"bmpsuite_g_pal1.bmp", 127, 64},
      {"bmpsuite_g_pal4.bmp", 127, 64},
      {"bmpsuite_g_pal4rle.bmp", 127, 64},
      {"bmpsuite_g_pal8.bmp", 127, 64},
      {"bmpsuite_g_pal8rle.bmp", 127, 64},
      {"bmpsuite_g_rgb24.bmp", 127, 64},
      {"bmpsuite_g_rgb32.bmp", 127, 64},
      {"libgdiplus_test.ico", 256, 256},  // 256 and 48 pixel entries
      {"pillow_deerstalker.cur", 32, 32},
  };
  for (const auto& s : samples) {
    SCOPED_TRACE(s.file);
    Picture picture;
    EXPECT_EQ(raisedError([&] { picture = Picture::load(testData(QString::fromLatin1(s.file))); }), 0);
    EXPECT_EQ(picture.pixelSize(), QSize(s.width, s.height));
  }
}

TEST_F(PictureFormats, EncodingsOfOnePictureDecodeToTheSamePixels) {
  const std::pair<const char*, const char*> pairs[] = {
      {"bmpsuite_g_pal8.bmp", "bmpsuite_g_pal8rle.bmp"},
      {"bmpsuite_g_pal4.bmp", "bmpsuite_g_pal4rle.bmp"},
      {"bmpsuite_g_rgb24.bmp", "bmpsuite_g_rgb32.bmp"},
      {"pillow_transparent.gif", "made_interlaced.gif"},
  };
  for (const auto& [plain, other] : pairs) {
    SCOPED_TRACE(other);
    const QImage expected = Picture::load(testData(QString::fromLatin1(plain))).image();
    const QImage actual = Picture::load(testData(QString::fromLatin1(other))).image();
    EXPECT_EQ(actual.convertToFormat(QImage::Format_ARGB32), expected.convertToFormat(QImage::Format_ARGB32));
  }
}

TEST_F(PictureFormats, ColoursSurviveTheDecoder) {
  const QImage transparent = Picture::load(testData(QStringLiteral("pillow_transparent.gif"))).image();
  ASSERT_TRUE(transparent.hasAlphaChannel());
  EXPECT_EQ(qAlpha(transparent.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(transparent.pixel(100, 75)), 255);

  // Made as CMYK from a red left half and a blue right half.
  const QImage cmyk = Picture::load(testData(QStringLiteral("made_cmyk.jpg"))).image();
  EXPECT_TRUE(isRed(cmyk.pixel(8, 20)));
  EXPECT_TRUE(isBlue(cmyk.pixel(56, 20)));

  EXPECT_TRUE(Picture::load(testData(QStringLiteral("pillow_hopper_gray.jpg"))).image().allGray());

  // Colour masks in a 56-byte header, with the alpha mask, as photo editors
  // write them, and in a 52-byte one, without: two by two, bottom row first.
  QByteArray pixels, masks;
  for (const std::uint32_t pixel : {0xFFFF0000u, 0x8000FF00u, 0xFF0000FFu, 0u}) appendLittle32(pixels, pixel);
  for (const std::uint32_t mask : {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}) appendLittle32(masks, mask);
  constexpr std::uint32_t BitFields = 3;
  const struct {
    const char* name;
    QByteArray file;
    QRgb opaque;
  } masked[] = {
      {"alpha.bmp", bitmapFile(2, 2, 32, BitFields, pixels, {}, masks), 0},
      {"masks.bmp", bitmapFile(2, 2, 32, BitFields, pixels, {}, masks.left(12)), 0xFF000000},
  };
  for (const auto& m : masked) {
    SCOPED_TRACE(m.name);
    const QImage image = Picture::load(writeFile(m.name, m.file)).image().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(2, 2));
    const QRgb topDown[] = {0xFF0000FF, 0, 0xFFFF0000, 0x8000FF00};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(image.pixel(i % 2, i / 2), topDown[i] | m.opaque) << i;
  }
}

TEST_F(PictureFormats, IconShowsItsLargestEntryWhereverItStands) {
  const std::pair<int, QColor> entries[] = {{16, Qt::red}, {48, Qt::green}, {32, Qt::blue}};
  QByteArray directory, images;
  appendLittle16(directory, 0);
  appendLittle16(directory, 1);  // icon
  constexpr auto Count = static_cast<std::uint32_t>(std::size(entries));
  appendLittle16(directory, Count);
  std::uint32_t offset = 6 + 16 * Count;
  for (const auto& [side, colour] : entries) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    const QByteArray png = encoded(image, "PNG");
    directory.append(static_cast<char>(side));
    directory.append(static_cast<char>(side));
    directory.append(2, '\0');  // colours, reserved
    appendLittle16(directory, 1);
    appendLittle16(directory, 32);
    appendLittle32(directory, static_cast<std::uint32_t>(png.size()));
    appendLittle32(directory, offset);
    offset += static_cast<std::uint32_t>(png.size());
    images += png;
  }
  const Picture icon = Picture::load(writeFile(QStringLiteral("three.ico"), directory + images));
  EXPECT_EQ(icon.pixelSize(), QSize(48, 48));
  EXPECT_EQ(icon.image().pixel(24, 24), QColor(Qt::green).rgb());
}

// The JPEG with an EXIF block in front that gives the orientation.
QByteArray withOrientation(const QByteArray& jpeg, int orientation) {
  QByteArray exif("Exif\0\0", 6);
  exif.append("MM\0\x2A\0\0\0\x08", 8);        // big-endian TIFF header, directory at 8
  exif.append("\0\x01", 2);                    // one entry:
  exif.append("\x01\x12\0\x03\0\0\0\x01", 8);  // Orientation, a SHORT
  exif.append('\0');
  exif.append(static_cast<char>(orientation));
  exif.append(6, '\0');  // padding, then no further directory
  const auto length = static_cast<int>(exif.size() + 2);
  QByteArray segment("\xFF\xE1", 2);
  segment.append(static_cast<char>(length >> 8));
  segment.append(static_cast<char>(length & 0xFF));
  return jpeg.left(2) + segment + exif + jpeg.mid(2);
}

TEST_F(PictureFormats, JpegIsShownTheWayItsOrientationSays) {
  // Stored 40 by 20 with a blue top-left quarter.
  QImage stored(40, 20, QImage::Format_RGB32);
  stored.fill(QColor(200, 80, 40));
  QPainter(&stored).fillRect(0, 0, 20, 10, Qt::blue);
  const QByteArray jpeg = encoded(stored, "JPEG");

  enum Corner { TopLeft, TopRight, BottomLeft, BottomRight };
  const struct {
    int orientation;
    QSize size;
    Corner blue;
  } cases[] = {
      {1, {40, 20}, TopLeft},    {2, {40, 20}, TopRight},   {3, {40, 20}, BottomRight}, {4, {40, 20}, BottomLeft},
      {5, {20, 40}, TopLeft},    {6, {20, 40}, TopRight},   {7, {20, 40}, BottomRight}, {8, {20, 40}, BottomLeft},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    const QString name = QStringLiteral("turned%1.jpg").arg(c.orientation);
    const QImage shown = Picture::load(writeFile(name, withOrientation(jpeg, c.orientation))).image();
    ASSERT_EQ(shown.size(), c.size);
    const int w = c.size.width(), h = c.size.height();
    const QPoint centres[] = {{w / 4, h / 4}, {w * 3 / 4, h / 4}, {w / 4, h * 3 / 4}, {w * 3 / 4, h * 3 / 4}};
    for (int corner = TopLeft; corner <= BottomRight; ++corner)
      EXPECT_EQ(isBlue(shown.pixel(centres[corner])), corner == c.blue) << "corner " << corner;
  }
}

// Gradients with blocks of colour: detail for the decoders to keep.
QImage scenery(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient sky(0, 0, width, height);
  sky.setColorAt(0, QColor(20, 60, 160));
  sky.setColorAt(1, QColor(240, 200, 80));
  painter.fillRect(image.rect(), sky);
  painter.fillRect(width / 8, height / 3, width / 4, height / 2, QColor(30, 140, 40));
  painter.fillRect(width / 2, height / 5, width / 3, height / 6, Qt::white);
  return image;
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
// whole picture scaled down, keeps its natural size, and gives the whole
// picture when asked.
TEST_F(PictureFormats, AReducedDecodeMatchesTheWholePictureScaledDown) {
  const QImage picture = scenery(1000, 640);
  QByteArray progressive;
  QBuffer buffer(&progressive);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "JPEG");
  writer.setQuality(90);
  writer.setProgressiveScanWrite(true);
  ASSERT_TRUE(writer.write(picture));
  const struct {
    const char* name;
    QByteArray bytes;
    QSize natural;
  } cases[] = {
      {"baseline.jpg", encoded(picture, "JPEG"), {1000, 640}},
      {"progressive.jpg", progressive, {1000, 640}},
      {"turned.jpg", withOrientation(encoded(picture, "JPEG"), 6), {640, 1000}},
      {"grey.jpg", encoded(picture.convertToFormat(QImage::Format_Grayscale8), "JPEG"), {1000, 640}},
      {"plain.png", encoded(picture, "PNG"), {1000, 640}},
      {"plain.bmp", encoded(picture, "BMP"), {1000, 640}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = writeFile(QString::fromLatin1(c.name), c.bytes);
    const Picture reduced = Picture::loadFitting(path, QSize(105, 105));
    ASSERT_EQ(reduced.pixelSize(), c.natural);
    const QSize shown = c.natural.scaled(105, 105, Qt::KeepAspectRatio);
    QImage canvas(shown, QImage::Format_RGB32);
    QPainter painter(&canvas);
    reduced.draw(painter, canvas.rect(), canvas.rect());
    painter.end();
    const QImage whole = Picture::load(path).image();
    EXPECT_LT(meanDifference(canvas, whole.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)), 3.0);
    EXPECT_EQ(reduced.image(), whole);
  }
}

TEST_F(PictureFormats, DamagedFilesAreDecodedOrRefusedNeverMore) {
  const QDir broken(testData(QStringLiteral("broken")));
  const QStringList files = broken.entryList(QDir::Files);
  ASSERT_GE(files.size(), 10);
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    Picture picture;
    const int error = raisedError([&] { picture = Picture::load(broken.filePath(file)); });
    if (error != 0) {
      EXPECT_EQ(error, platform::errors::InvalidPicture);
      continue;
    }
    EXPECT_NE(picture.handle(), 0u);
    // None of them really holds more than 128 by 128 pixels; a forged header
    // must not turn into a larger picture.
    EXPECT_LE(picture.pixelSize().width(), 128);
    EXPECT_LE(picture.pixelSize().height(), 128);
  }
  // Decoders fill the missing rows of a bitmap that ends early; it is refused
  // instead.
  EXPECT_EQ(raisedError([&] { Picture::load(broken.filePath(QStringLiteral("bmpsuite_b_shortfile.bmp"))); }),
            platform::errors::InvalidPicture);
}

}  // namespace
