// Saving a picture as a Windows bitmap: the header the picture calls for, and
// the same pixels back. SafeWrite covers the failures.
#include "platform/pictures/Picture.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <cstdint>

using platform::Picture;

namespace {

using PictureSave = FreshProgram;

TEST_F(PictureSave, OpaquePicturesTake24BitsAndTransparentOnes32WithTheirAlpha) {
  QImage opaque(5, 3, QImage::Format_ARGB32);  // an alpha channel, yet every pixel opaque
  opaque.fill(QColor(10, 20, 30));
  QImage translucent = opaque;
  translucent.setPixel(4, 0, qRgba(200, 100, 50, 128));
  translucent.setPixel(0, 2, qRgba(9, 8, 7, 0));
  const struct {
    const char* label;
    Picture picture;
    std::uint32_t headerSize, bits, compression;
  } cases[] = {
      {"photo", Picture::load(testData(QStringLiteral("pillow_hopper.jpg"))), 40, 24, 0},
      {"palette bitmap, odd width", Picture::load(testData(QStringLiteral("bmpsuite_g_pal8.bmp"))), 40, 24, 0},
      {"opaque with alpha channel", Picture::fromImage(opaque), 40, 24, 0},
      {"translucent pixels", Picture::fromImage(translucent), 108, 32, 3},
      {"cursor", Picture::load(testData(QStringLiteral("pillow_deerstalker.cur"))), 108, 32, 3},
      {"transparent GIF", Picture::load(testData(QStringLiteral("pillow_transparent.gif"))), 108, 32, 3},
  };
  const auto little = [](const QByteArray& bytes, int at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
  };
  // A bitmap whatever the name says, each written over the one before.
  const QString saved = writeFile(QStringLiteral("saved.pic"), "an older file in the way");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(raisedError([&] { c.picture.saveAsBitmap(saved); }), 0);
    const QByteArray bytes = contentsOf(saved);
    ASSERT_GT(bytes.size(), 54);
    EXPECT_TRUE(bytes.startsWith("BM"));
    EXPECT_EQ(little(bytes, 2, 4), static_cast<std::uint32_t>(bytes.size()));
    EXPECT_EQ(little(bytes, 10, 4), 14 + c.headerSize);
    EXPECT_EQ(little(bytes, 14, 4), c.headerSize);
    EXPECT_EQ(little(bytes, 28, 2), c.bits);
    EXPECT_EQ(little(bytes, 30, 4), c.compression);
    const Picture back = Picture::load(saved);
    EXPECT_EQ(back.pixelSize(), c.picture.pixelSize());
    EXPECT_EQ(back.image().convertToFormat(QImage::Format_ARGB32),
              c.picture.image().convertToFormat(QImage::Format_ARGB32));
  }
}

}  // namespace
