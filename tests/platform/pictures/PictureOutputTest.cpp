// A picture's pixels given out: drawn onto a screen of more device pixels
// than pixels, and saved as a Windows bitmap with the header the picture
// calls for, the same pixels back (SafeWrite covers the failures).
#include "platform/pictures/Picture.h"
#include "support/DrawnEmf.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QPainter>
#include <QtEndian>

#include <cstdint>
#include <tuple>

using platform::Picture;

namespace {

using PictureOutput = FreshProgram;

TEST_F(PictureOutput, OpaquePicturesTake24BitsAndTransparentOnes32WithTheirAlpha) {
  QImage opaque(5, 3, QImage::Format_ARGB32);  // an alpha channel, yet every pixel opaque
  opaque.fill(QColor(10, 20, 30));
  QImage translucent = opaque;
  translucent.setPixel(4, 0, qRgba(200, 100, 50, 128));
  translucent.setPixel(0, 2, qRgba(9, 8, 7, 0));
  // What it is, the picture, and the bitmap's header size, bits a pixel and compression.
  const std::tuple<const char*, Picture, std::uint32_t, std::uint32_t, std::uint32_t> cases[] = {
      {"palette bitmap, odd width", Picture::load(testData(QStringLiteral("bmpsuite_g_pal8.bmp"))), 40, 24, 0},
      {"opaque with alpha channel", Picture::fromImage(opaque), 40, 24, 0},
      {"translucent pixels", Picture::fromImage(translucent), 108, 32, 3},
      {"transparent GIF", Picture::load(testData(QStringLiteral("pillow_transparent.gif"))), 108, 32, 3},
      {"metafile, drawn at its natural size",
       Picture::load(writeFile("drawn.emf", drawnEmf({0, 0, 10000, 5000}, {{EmfShape::Kind::Rectangle, {80, 40, 80, 40}, 0xFFFF0000}}))),
       40, 24, 0},
  };
  // A bitmap whatever the name says, each written over the one before.
  const QString saved = writeFile(QStringLiteral("saved.pic"), "an older file in the way");
  for (const auto& [label, picture, headerSize, bits, compression] : cases) {
    SCOPED_TRACE(label);
    ASSERT_EQ(raisedError([&, &picture = picture] { picture.saveAsBitmap(saved); }), 0);
    const QByteArray bytes = contentsOf(saved);
    ASSERT_GT(bytes.size(), 54);
    const auto field = [&](int at) { return qFromLittleEndian<std::uint32_t>(bytes.constData() + at); };
    EXPECT_EQ(field(2), static_cast<std::uint32_t>(bytes.size()));
    EXPECT_EQ(field(10), 14 + headerSize);
    EXPECT_EQ(field(14), headerSize);
    EXPECT_EQ(field(28), bits | compression << 16);  // bits a pixel, then compression
    const Picture back = Picture::load(saved);
    EXPECT_EQ(back.pixelSize(), picture.pixelSize());
    EXPECT_EQ(back.image().convertToFormat(QImage::Format_ARGB32), picture.image().convertToFormat(QImage::Format_ARGB32));
  }
}

// On a screen of two device pixels to a pixel, a picture at its own size
// shows each pixel as a sharp square of four: enlarged, as the viewer's zoom
// enlarges it, without smoothing.
TEST_F(PictureOutput, OnAFineScreenEachPixelIsASharpSquareOfFour) {
  QImage twoPixels(2, 1, QImage::Format_RGB32);
  twoPixels.setPixel(0, 0, qRgb(0, 0, 0));
  twoPixels.setPixel(1, 0, qRgb(255, 255, 255));
  QImage screen(4, 2, QImage::Format_RGB32);
  screen.setDevicePixelRatio(2);
  screen.fill(Qt::red);
  const Picture picture = Picture::fromImage(twoPixels);
  picture.prepareDrawing(screen.size());
  QPainter painter(&screen);
  picture.draw(painter, QRect(0, 0, 2, 1), QRect(0, 0, 2, 1));
  painter.end();
  for (int x = 0; x < 4; ++x) EXPECT_EQ(screen.pixel(x, 0), x < 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255)) << x;
}

}  // namespace
