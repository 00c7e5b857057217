// The metafile helper and the process around it: what its conversion gives,
// what it refuses to draw, and what the browser gets when the helper hangs,
// crashes, runs away or dies half-way.
#include "metafile_helper/MetafileConversion.h"
#include "metafile_helper/SvgRenderer.h"
#include "platform/pictures/MetafileHelper.h"
#include "platform/pictures/VectorPicture.h"
#include "support/FreshProgram.h"
#include "support/MetafileBytes.h"

#include <QFile>
#include <QImage>
#include <QPainter>

using platform::HelperLimits;
using platform::MetafileHelper;

namespace {

constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb White = 0xFFFFFFFF;

class MetafileHelperTest : public FreshProgram {
 protected:
  // A stand-in helper: a shell script with this body.
  QString fakeHelper(const QByteArray& body) const {
    const QString path = writeFile(QStringLiteral("helper"), "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
  }

  // 400 by 200 units, red over the second quarter across and down.
  static QByteArray redQuarter() {
    return WmfBuilder().windowExtent(400, 200).filled({0, 0, 400, 200}, White).filled({100, 50, 100, 50}, Red).plain();
  }
};

TEST_F(MetafileHelperTest, TextOfAWmfBecomesWellFormedCharacterData) {
  const QByteArray wmf = WmfBuilder().windowExtent(200, 100).textOut(10, 10, "a<b&c\x01\x8D\xE9\x80").plain();
  const QByteArray svg = metafile::convertToSvg(wmf);
  EXPECT_TRUE(svg.contains("a&lt;b&amp;c"));
  EXPECT_TRUE(svg.contains(QStringLiteral(" \uFFFD\u00E9\u20AC<").toUtf8()));
  EXPECT_TRUE(svg.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
  EXPECT_NE(metafile::SvgRenderer::fromSvg(svg), nullptr);
}

// The start of a PNG file that declares this size: all the header check reads.
QByteArray pngHeader(std::uint32_t width, std::uint32_t height) {
  QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (const std::uint32_t value : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) png.append(static_cast<char>((value >> shift) & 0xFF));
  return png + QByteArray("\x08\x02\0\0\0\0\0\0\0", 9);  // 8-bit RGB, then a checksum left unchecked
}

TEST_F(MetafileHelperTest, DocumentsLinkOnlyToThemselvesAndToEmbeddedPicturesThatFit) {
  const auto document = [](const QByteArray& image) {
    return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='10' "
           "height='10'><rect id='r' width='5' height='5'/><use xlink:href=\"#r\"/>" +
           image + "</svg>";
  };
  // Metafiles with bitmaps, drawn in MetafilePictures, embed pictures that fit.
  const QByteArray smallData = "data:image/png;base64," + pngHeader(4, 4).toBase64();

  const std::pair<const char*, QByteArray> refused[] = {
      {"a picture declaring 20,000 by 20,000 pixels",
       "<image width='4' height='4' xlink:href=\"data:image/png;base64," + pngHeader(20000, 20000).toBase64() + "\"/>"},
      {"a file outside", "<image width='4' height='4' xlink:href=\"file:///etc/hostname\"/>"},
      {"a link written with blanks", "<image width='4' height='4' xlink:href = '" + smallData + "'/>"},
      {"not a picture", "<image width='4' height='4' xlink:href='data:image/png;base64,AAAA'/>"},
  };
  for (const auto& [what, image] : refused) EXPECT_EQ(metafile::SvgRenderer::fromSvg(document(image)), nullptr) << what;
}

TEST_F(MetafileHelperTest, AHelperThatFailsToStartGivesNothing) {
  const HelperLimits quick{500, 500};
  const std::pair<const char*, QByteArray> failures[] = {
      {"crashes", "kill -SEGV $$"},
      {"hangs", "exec sleep 30"},
      {"answers nonsense without end", "exec yes"},
      {"refuses", "cat >/dev/null; printf '\\000'; exit 1"},
      {"says nothing", "cat >/dev/null; exit 0"},
  };
  for (const auto& [what, body] : failures) EXPECT_EQ(MetafileHelper::start(redQuarter(), fakeHelper(body), quick), nullptr) << what;
  EXPECT_EQ(MetafileHelper::start(redQuarter(), pathOf(QStringLiteral("no such helper"))), nullptr);
}

TEST_F(MetafileHelperTest, AHelperThatDiesAfterReadingThePictureLeavesItWhite) {
  // Ready, an extent of 100 by 50 units, then gone.
  const QString helperPath = fakeHelper(
      "head -c 8 >/dev/null; printf '\\001\\000\\000\\000\\000\\000\\000\\131\\100"
      "\\000\\000\\000\\000\\000\\000\\111\\100'; exit 0");
  auto helper = MetafileHelper::start(QByteArray(8, 'x'), helperPath, {2000, 500});
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->drawingExtent(), QSizeF(100, 50));
  EXPECT_TRUE(helper->render(QSize(100, 50), QRect(0, 0, 100, 50)).isNull());

  platform::VectorPicture picture(std::move(helper));
  QImage canvas(100, 50, QImage::Format_RGB32);
  canvas.fill(Qt::black);
  QPainter painter(&canvas);
  picture.draw(painter, canvas.rect(), canvas.rect());
  painter.end();
  EXPECT_EQ(canvas.pixel(50, 25), White);
  EXPECT_TRUE(picture.render(QSize(100, 50), QRect(0, 0, 100, 50)).isNull());
}

TEST_F(MetafileHelperTest, TheHelperRefusesPartsOutsideThePicture) {
  auto helper = MetafileHelper::start(redQuarter());
  ASSERT_NE(helper, nullptr);
  EXPECT_TRUE(helper->render(QSize(400, 200), QRect(300, 100, 200, 200)).isNull());
  EXPECT_TRUE(helper->render(QSize(0, 200), QRect(0, 0, 1, 1)).isNull());
  EXPECT_TRUE(helper->render(QSize(8000, 8000), QRect(0, 0, 8000, 8000)).isNull()) << "more than one answer holds";
  // Still drawing afterwards.
  const QImage part = helper->render(QSize(400, 200), QRect(100, 50, 100, 50));
  ASSERT_EQ(part.size(), QSize(100, 50));
  EXPECT_EQ(part.pixel(50, 25), Red);
}

TEST_F(MetafileHelperTest, TileCacheStaysBoundedWhileScrollingAHugeZoom) {
  const auto picture = platform::VectorPicture::start(redQuarter());
  ASSERT_NE(picture, nullptr);
  // 240 times the natural size: over four billion pixels in all, shown
  // through a window of 1,000 by 700 scrolled to every part.
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

  // Where the window shows the red rectangle's top left corner, it is red
  // below and right of the corner and white elsewhere.
  QPainter painter(&window);
  painter.translate(-23'500, -11'500);
  picture->draw(painter, whole, QRect(23'500, 11'500, 1000, 700));
  painter.end();
  EXPECT_EQ(window.pixel(600, 600), Red);
  EXPECT_EQ(window.pixel(400, 600), White);
  EXPECT_EQ(window.pixel(600, 400), White);
}

}  // namespace
