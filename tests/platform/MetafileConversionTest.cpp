// The converter program and the process around it: what a conversion gives,
// and what the browser gets when the converter hangs, crashes, runs away or
// refuses.
#include "platform/MetafileProcess.h"
#include "platform/VectorPicture.h"
#include "support/FreshProgram.h"
#include "support/MetafileBytes.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>

using platform::ConversionLimits;
using platform::convertMetafileInChildProcess;

namespace {

class MetafileConversion : public FreshProgram {
 protected:
  // A stand-in converter: a shell script with this body.
  QString fakeConverter(const QString& name, const QByteArray& body) const {
    const QString path = writeFile(name, "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
  }
};

TEST_F(MetafileConversion, TextOfAWmfBecomesWellFormedCharacterData) {
  const QByteArray wmf = WmfBuilder().windowExtent(200, 100).textOut(10, 10, "a<b&c\x01\x8D\xE9\x80").plain();
  const auto svg = convertMetafileInChildProcess(wmf);
  ASSERT_TRUE(svg.has_value());
  EXPECT_TRUE(svg->contains("a&lt;b&amp;c"));
  EXPECT_TRUE(svg->contains(QStringLiteral(" \uFFFD\u00E9\u20AC<").toUtf8()));
  EXPECT_TRUE(svg->startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
  EXPECT_NE(platform::VectorPicture::fromSvg(*svg), nullptr);
}

TEST_F(MetafileConversion, AFailingConverterGivesNothingAndTheCallerGoesOn) {
  const QByteArray wmf = WmfBuilder().windowExtent(20, 10).filled(QRect(0, 0, 20, 10), 0xFF00FF00).plain();
  const ConversionLimits quick{500, 4096};
  const struct {
    const char* what;
    QByteArray body;
  } failures[] = {
      {"crashes", "kill -SEGV $$"},
      {"hangs", "exec sleep 30"},
      {"writes without end", "exec yes '<svg/>'"},
      {"refuses", "cat >/dev/null; exit 1"},
      {"says nothing", "cat >/dev/null; exit 0"},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.what);
    EXPECT_FALSE(convertMetafileInChildProcess(wmf, fakeConverter(QStringLiteral("converter"), f.body), quick));
  }
  EXPECT_FALSE(convertMetafileInChildProcess(wmf, pathOf(QStringLiteral("no such converter"))));

  const auto echoed = convertMetafileInChildProcess(wmf, fakeConverter(QStringLiteral("echo"), "cat"), quick);
  ASSERT_TRUE(echoed.has_value());
  EXPECT_EQ(*echoed, wmf);
}

// A PNG file that declares this size, with no pixel data after its header.
QByteArray pngHeader(std::uint32_t width, std::uint32_t height) {
  QByteArray chunk("IHDR");
  for (const std::uint32_t value : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) chunk.append(static_cast<char>((value >> shift) & 0xFF));
  chunk.append("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
  std::uint32_t crc = 0xFFFFFFFF;
  for (const char c : chunk) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  crc = ~crc;
  QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\x0d", 12);
  png += chunk;
  for (int shift = 24; shift >= 0; shift -= 8) png.append(static_cast<char>((crc >> shift) & 0xFF));
  return png;
}

TEST_F(MetafileConversion, DocumentsLinkOnlyToThemselvesAndToEmbeddedPicturesThatFit) {
  const auto document = [](const QByteArray& image) {
    return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='10' "
           "height='10'><rect id='r' width='5' height='5'/><use xlink:href=\"#r\"/>" +
           image + "</svg>";
  };
  QImage small(4, 4, QImage::Format_RGB32);
  small.fill(Qt::blue);
  QByteArray smallPng;
  QBuffer buffer(&smallPng);
  buffer.open(QIODevice::WriteOnly);
  small.save(&buffer, "PNG");
  const QByteArray smallData = "data:image/png;base64," + smallPng.toBase64();
  EXPECT_NE(platform::VectorPicture::fromSvg(document("<image width='4' height='4' xlink:href='" + smallData + "'/>")),
            nullptr);

  const struct {
    const char* what;
    QByteArray image;
  } refused[] = {
      {"a picture declaring 20,000 by 20,000 pixels",
       "<image width='4' height='4' xlink:href=\"data:image/png;base64," + pngHeader(20000, 20000).toBase64() + "\"/>"},
      {"a file outside", "<image width='4' height='4' xlink:href=\"file:///etc/hostname\"/>"},
      {"a link written with blanks", "<image width='4' height='4' xlink:href = '" + smallData + "'/>"},
      {"not a picture", "<image width='4' height='4' xlink:href='data:image/png;base64,AAAA'/>"},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(platform::VectorPicture::fromSvg(document(r.image)), nullptr);
  }
}

TEST_F(MetafileConversion, TileCacheStaysBoundedWhileScrollingAHugeZoom) {
  const auto picture = platform::VectorPicture::fromSvg(
      "<svg xmlns='http://www.w3.org/2000/svg' width='100' height='50' viewBox='0 0 100 50' "
      "preserveAspectRatio='none'><rect x='25' y='12.5' width='25' height='12.5' fill='red'/></svg>");
  ASSERT_NE(picture, nullptr);
  // 16 times a picture of 6,000 by 3,000 pixels: nearly five billion pixels
  // in all, shown through a window of 1,000 by 700 scrolled to every part.
  const QRect whole(0, 0, 96'000, 48'000);
  QImage window(1000, 700, QImage::Format_RGB32);
  for (int top = 0; top < whole.height(); top += 6'000)
    for (int left = 0; left < whole.width(); left += 8'000) {
      QPainter painter(&window);
      painter.translate(-left, -top);
      picture->draw(painter, whole, QRect(left, top, 1000, 700));
      ASSERT_LE(picture->cachedPixels(), platform::VectorPicture::CachedPixelsLimit);
    }
  EXPECT_GT(picture->cachedPixels(), 0);

  // Where the window shows the rectangle's top left corner, it is red
  // below and right of the corner and white elsewhere.
  QPainter painter(&window);
  painter.translate(-23'500, -11'500);
  picture->draw(painter, whole, QRect(23'500, 11'500, 1000, 700));
  painter.end();
  EXPECT_EQ(window.pixel(600, 600), 0xFFFF0000);
  EXPECT_EQ(window.pixel(400, 600), 0xFFFFFFFF);
  EXPECT_EQ(window.pixel(600, 400), 0xFFFFFFFF);
}

}  // namespace
