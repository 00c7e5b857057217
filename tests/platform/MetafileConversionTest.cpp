// The converter program and the process around it: what a conversion gives,
// and what the browser gets when the converter hangs, crashes, runs away or
// refuses.
#include "platform/MetafileProcess.h"
#include "platform/VectorPicture.h"
#include "support/FreshProgram.h"
#include "support/MetafileBytes.h"

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
