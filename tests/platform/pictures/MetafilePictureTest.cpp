// Windows metafiles: what the header reader makes of headers, good and
// forged; the helper's conversion, what it refuses to draw, and what the
// browser gets when the helper hangs, crashes, runs away or dies half-way;
// through the picture object, real files from other programs and pictures
// drawn here with known shapes, shown at several sizes, and forged ones
// ending in the invalid-picture error.
#include "metafile_helper/MetafileConversion.h"
#include "metafile_helper/SvgRenderer.h"
#include "platform/desktop/BackgroundWork.h"
#include "platform/pictures/MetafileHeader.h"
#include "platform/pictures/MetafileHelper.h"
#include "platform/pictures/Picture.h"
#include "platform/pictures/VectorPicture.h"
#include "support/DrawnEmf.h"
#include "support/FreshProgram.h"
#include "support/MetafileBytes.h"
#include "support/RaisedError.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <csignal>
#include <tuple>

using platform::MetafileHeader;
using platform::MetafileHelper;
using platform::Picture;
using platform::readMetafileHeader;

namespace {

constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb White = 0xFFFFFFFF;
constexpr QRgb Unpainted = 0xFF000000;
constexpr double TwipsPerInch = 1440.0;

TEST(MetafileHeader, NaturalSizeComesFromEachKindOfHeaderAndTheFrameFromTheBounds) {
  const std::tuple<const char*, QByteArray, MetafileHeader::Kind, QSizeF> cases[] = {
      // what, bytes, kind, twips
      {"plain: the first window extent, a unit a pixel",
       WmfBuilder().windowOrigin(269, -27).windowExtent(443, 182).windowExtent(5, 5).plain(), MetafileHeader::Kind::Wmf,
       QSizeF(443 * 15.0, 182 * 15.0)},
      {"plain: a flipped extent counts by its size", WmfBuilder().windowExtent(-400, 300).plain(),
       MetafileHeader::Kind::Wmf, QSizeF(400 * 15.0, 300 * 15.0)},
      {"enhanced: no frame, so the bounds in device units",
       emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 0, 0), QSize(1024, 768), QSize(320, 240)), MetafileHeader::Kind::Emf,
       QSizeF(100 / 25.4 * TwipsPerInch, 50 / 25.4 * TwipsPerInch)},
  };
  for (const auto& [what, bytes, kind, twips] : cases) {
    SCOPED_TRACE(what);
    const auto header = readMetafileHeader(bytes);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->kind, kind);
    EXPECT_NEAR(header->twips.width(), twips.width(), 0.01);
    EXPECT_NEAR(header->twips.height(), twips.height(), 0.01);
  }

  // 3.2 device units a millimetre; the frame starts 10 mm in, the drawing's
  // bounds 8 units in.
  const auto header = readMetafileHeader(emfFile(QRect(8, 16, 300, 150), QRect(1000, 1000, 5000, 2500)));
  ASSERT_TRUE(header.has_value());
  EXPECT_EQ(header->emfFrame, QRectF(32 - 8, 32 - 16, 160, 80));
}

TEST(MetafileHeader, ForgedSizesAndBrokenRecordChainsAreNotPictures) {
  // A description of 128 characters starting at byte 20 of an 88-byte header.
  QByteArray descriptionOutside = emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000));
  descriptionOutside[60] = static_cast<char>(128);
  descriptionOutside[64] = 20;
  // A 108-byte header, its extensions saying 40 bytes of pixel format at 4096.
  QByteArray pixelFormatOutside =
      emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000), {1024, 768}, {320, 240}, 108);
  pixelFormatOutside.insert(88, QByteArray::fromHex("28000000"
                                                    "00100000") +
                                    QByteArray(12, '\0'));
  // A record claiming no length would loop forever, one claiming four
  // gigabytes would send a reader far past the end.
  QByteArray recordRunsPastTheEnd = emfFile(QRect(0, 0, 10, 10), QRect(0, 0, 100, 100));
  recordRunsPastTheEnd.chop(4);
  WmfBuilder tooMany;
  for (int i = 0; i < platform::RecordLimit; ++i) tooMany.rawRecord(3, 0x0001);
  const std::pair<const char*, QByteArray> cases[] = {
      {"no bytes", QByteArray()},
      {"not a metafile", QByteArray("GIF89a") + QByteArray(40, '\0')},
      {"placeable: no units per inch", WmfBuilder().placeable(QRect(0, 0, 100, 100), 0)},
      {"placeable: empty box", WmfBuilder().placeable(QRect(10, 10, 0, 100), 1440)},
      {"placeable: 32,767 inches wide", WmfBuilder().placeable(QRect(0, 0, 32767, 10), 1)},
      {"placeable: no metafile header after it", WmfBuilder().placeable(QRect(0, 0, 100, 100), 1440).left(30)},
      {"enhanced: cut off in its header", emfFile(QRect(0, 0, 10, 10), QRect(0, 0, 100, 100)).left(60)},
      {"enhanced: description outside the header", descriptionOutside},
      {"enhanced: pixel format outside the header", pixelFormatOutside},
      {"enhanced: header longer than the file",
       emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000), {1024, 768}, {320, 240}, 4096)},
      {"enhanced: no device size", emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000), {0, 768})},
      {"enhanced: negative millimetres",
       emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 10000, 5000), {1024, 768}, {-320, 240})},
      {"enhanced: no frame and empty bounds", emfFile(QRect(0, 0, -1, -1), QRect(0, 0, -1, -1))},
      {"enhanced: a frame of a kilometre", emfFile(QRect(0, 0, 320, 160), QRect(0, 0, 100'000'000, 5000))},
      {"WMF record of no length", WmfBuilder().rawRecord(0, 0x0103).windowExtent(400, 300).plain()},
      {"WMF record of four gigabytes", WmfBuilder().rawRecord(0xFFFFFFFF, 0x0103).windowExtent(400, 300).plain()},
      {"placeable WMF cut in a record", WmfBuilder().windowExtent(40, 30).placeable(QRect(0, 0, 9, 9), 96).chopped(8)},
      {"EMF closing record cut short", recordRunsPastTheEnd},
      {"more records than the limit", tooMany.plain()},
  };
  for (const auto& [what, bytes] : cases) EXPECT_FALSE(readMetafileHeader(bytes).has_value()) << what;

  // Bytes after the closing record are no part of the picture.
  const QByteArray emf = emfFile(QRect(0, 0, 10, 10), QRect(0, 0, 100, 100));
  const auto header = readMetafileHeader(emf + QByteArray(100, 'x'));
  ASSERT_TRUE(header.has_value());
  EXPECT_EQ(header->recordsEnd, emf.size());
}

class Metafiles : public FreshProgram {
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

TEST_F(Metafiles, TextOfAWmfBecomesWellFormedCharacterData) {
  const QByteArray wmf = WmfBuilder().windowExtent(200, 100).textOut(10, 10, "a<b&c\x01\x8D\xE9\x80").plain();
  const QByteArray svg = metafile::convertToSvg(wmf);
  EXPECT_TRUE(svg.contains("a&lt;b&amp;c"));
  EXPECT_TRUE(svg.contains(QStringLiteral(" \uFFFD\u00E9\u20AC<").toUtf8()));
  EXPECT_NE(metafile::SvgRenderer::fromSvg(svg), nullptr);
}

// The start of a PNG file that declares this size: all the header check reads.
QByteArray pngHeader(std::uint32_t width, std::uint32_t height) {
  QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (const std::uint32_t value : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) png.append(static_cast<char>((value >> shift) & 0xFF));
  return png + QByteArray("\x08\x02\0\0\0\0\0\0\0", 9);  // 8-bit RGB, then a checksum left unchecked
}

TEST_F(Metafiles, DocumentsLinkOnlyToThemselvesAndToEmbeddedPicturesThatFit) {
  const auto document = [](const QByteArray& image) {
    return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='10' height='10'>"
           "<rect id='r' width='5' height='5'/><use xlink:href=\"#r\"/>" +
           image + "</svg>";
  };
  const std::pair<const char*, QByteArray> refused[] = {
      {"a picture declaring 20,000 by 20,000 pixels",
       "<image width='4' height='4' xlink:href=\"data:image/png;base64," + pngHeader(20000, 20000).toBase64() + "\"/>"},
      {"a file outside", "<image width='4' height='4' xlink:href=\"file:///etc/hostname\"/>"},
      {"a link written with blanks",
       "<image width='4' height='4' xlink:href = 'data:image/png;base64," + pngHeader(4, 4).toBase64() + "'/>"},
      {"not a picture", "<image width='4' height='4' xlink:href='data:image/png;base64,AAAA'/>"},
  };
  for (const auto& [what, image] : refused) EXPECT_EQ(metafile::SvgRenderer::fromSvg(document(image)), nullptr) << what;
}

TEST_F(Metafiles, AHelperThatFailsToStartGivesNothing) {
  const platform::HelperLimits quick{500, 500};
  const std::pair<const char*, QByteArray> failures[] = {
      {"crashes", "kill -SEGV $$"},
      {"hangs", "exec sleep 30"},
      {"answers nonsense without end", "exec yes"},
      {"refuses", "cat >/dev/null; printf '\\000'; exit 1"},
      {"says nothing", "cat >/dev/null; exit 0"},
  };
  for (const auto& [what, body] : failures)
    EXPECT_EQ(MetafileHelper::start(redQuarter(), fakeHelper(body), quick), nullptr) << what;
  EXPECT_EQ(MetafileHelper::start(redQuarter(), pathOf(QStringLiteral("no such helper"))), nullptr);
}

TEST_F(Metafiles, AMetafileGoesToTheHelperStartedAheadOfIt) {
  // A copy of the helper is started ahead, then removed: only a helper
  // already running can take the metafile, and none is left after it.
  const QString program = pathOf(QStringLiteral("helper started ahead"));
  ASSERT_TRUE(QFile::copy(platform::metafileHelperProgram(), program));
  MetafileHelper::startSpare(program);
  ASSERT_TRUE(QFile::remove(program));
  const auto helper = MetafileHelper::start(redQuarter(), program);
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->render(QSize(400, 200), QRect(100, 50, 100, 50)).pixel(50, 25), Red);
  EXPECT_EQ(MetafileHelper::start(redQuarter(), program), nullptr);
}

// A picture is shared by whoever shows it: a drawing given up while the
// helper draws it is waited for all the same, so that the helper, which the
// others still need, goes on drawing.
TEST_F(Metafiles, ADrawingGivenUpWhileDrawnLeavesTheHelperDrawing) {
  // Ready, an extent of 100 by 50 units; then each part of 100 by 100 pixels
  // drawn white, slowly.
  const QString slowHelper = fakeHelper(
      "head -c 16 >/dev/null; printf '\\001\\000\\000\\000\\000\\000\\000\\131\\100"
      "\\000\\000\\000\\000\\000\\000\\111\\100'\n"
      "while [ \"$(head -c 24 | wc -c)\" = 24 ]; do sleep 0.3; printf '\\001'; head -c 40000 /dev/zero; done");
  auto helper = MetafileHelper::start(QByteArray(8, 'x'), slowHelper, {5000, 5000});
  ASSERT_NE(helper, nullptr);
  const QRect part(0, 0, 100, 100);
  const auto drawing = platform::startInBackground(
      [&](const platform::BackgroundWork& work) { return helper->render(part.size(), part, &work); });
  QTest::qWait(100);
  drawing->cancel();
  ASSERT_TRUE(QTest::qWaitFor([&] { return drawing->finished(); }));
  EXPECT_FALSE(helper->failed());
  EXPECT_EQ(helper->render(part.size(), part).size(), part.size());
}

TEST_F(Metafiles, TheHelperIsLockedAndRefusesPartsOutsideThePicture) {
  auto helper = MetafileHelper::start(redQuarter());
  ASSERT_NE(helper, nullptr);
  QFile status(QStringLiteral("/proc/%1/status").arg(helper->process()));
  ASSERT_TRUE(status.open(QIODevice::ReadOnly));
  const QByteArray lines = status.readAll();
  EXPECT_TRUE(lines.contains("\nNoNewPrivs:\t1\n") && lines.contains("\nSeccomp:\t2\n")) << lines.toStdString();
  EXPECT_TRUE(helper->render(QSize(400, 200), QRect(300, 100, 200, 200)).isNull());
  EXPECT_TRUE(helper->render(QSize(0, 200), QRect(0, 0, 1, 1)).isNull());
  EXPECT_TRUE(helper->render(QSize(8000, 8000), QRect(0, 0, 8000, 8000)).isNull()) << "more than one answer holds";
  // Still drawing afterwards: the middle of the part is the red quarter's.
  EXPECT_EQ(helper->render(QSize(400, 200), QRect(100, 50, 100, 50)).pixel(50, 25), Red);
}

TEST_F(Metafiles, TileCacheStaysBoundedWhileScrollingAHugeZoom) {
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
      // The tiles a paint lacks are made in the background before the next paint.
      picture->prepare(whole.size(), QRect(left, top, 1000, 700), nullptr);
      EXPECT_TRUE(picture->draw(painter, whole, QRect(left, top, 1000, 700)));
      ASSERT_LE(picture->cachedPixels(), platform::VectorPicture::CachedPixelsLimit);
    }
  EXPECT_GT(picture->cachedPixels(), 0);

  // Where the window shows the red rectangle's top left corner, it is red
  // below and right of the corner and white elsewhere.
  QPainter painter(&window);
  painter.translate(-23'500, -11'500);
  EXPECT_FALSE(picture->draw(painter, whole, QRect(23'500, 11'500, 1000, 700))) << "white until its tiles are made";
  picture->prepare(whole.size(), QRect(23'500, 11'500, 1000, 700), nullptr);
  picture->draw(painter, whole, QRect(23'500, 11'500, 1000, 700));
  painter.end();
  EXPECT_EQ(window.pixel(600, 600), Red);
  EXPECT_EQ(window.pixel(400, 600), White);
  EXPECT_EQ(window.pixel(600, 400), White);
}

// The picture drawn to fill a canvas of this size, once its drawing at that
// size is made.
QImage shownAt(const Picture& picture, QSize size) {
  QImage canvas(size, QImage::Format_RGB32);
  canvas.fill(Unpainted);
  picture.prepareDrawing(size);
  QPainter painter(&canvas);
  picture.draw(painter, canvas.rect(), canvas.rect());
  return canvas;
}

// Share of pixels that are not white: more than a blank page.
double shareOfColouredPixels(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);  // 4 bytes a pixel: no padding
  const auto* pixels = reinterpret_cast<const QRgb*>(rgb.constBits());
  const qsizetype count = qsizetype{rgb.width()} * rgb.height();
  return static_cast<double>(std::count_if(pixels, pixels + count, [](QRgb p) { return p != White; })) /
         static_cast<double>(count);
}

// A red rectangle over the second quarter of the picture across and down,
// on a white background, as each kind of metafile draws it: what it is, its
// bytes and its natural size in pixels.
using RedQuarter = std::tuple<const char*, QByteArray, QSize>;

std::vector<RedQuarter> redQuarterPictures() {
  using Shape = EmfShape::Kind;
  const QByteArray drawn =
      drawnEmf(QRect(0, 0, 10000, 5000),  // 100 by 50 mm: 320 by 160 device units
               {{Shape::Rectangle, QRect(0, 0, 320, 160), White}, {Shape::Rectangle, QRect(80, 40, 80, 40), Red}});
  return {
      {"EMF drawn through GDI calls", drawn, QSize(378, 189)},
      {"EMF whose description leaves no room for the header's extensions", withDescriptionAfterFixedHeader(drawn),
       QSize(378, 189)},
      {"placeable WMF, 2 by 1 inches",
       WmfBuilder()
           .windowOrigin(0, 0)
           .windowExtent(2000, 1000)
           .filled(QRect(0, 0, 2000, 1000), White)
           .filled(QRect(500, 250, 500, 250), Red)
           .placeable(QRect(0, 0, 2000, 1000), 1000),
       QSize(192, 96)},
      {"plain WMF with its window off the origin",
       WmfBuilder()
           .windowOrigin(100, 50)
           .windowExtent(400, 200)
           .filled(QRect(100, 50, 400, 200), White)
           .filled(QRect(200, 100, 100, 50), Red)
           .plain(),
       QSize(400, 200)},
      {"plain WMF without a window, as large as its drawing with the edges",
       WmfBuilder().filled(QRect(1000, 500, 400, 200), White).filled(QRect(1100, 550, 100, 50), Red).plain(),
       QSize(401, 201)},
  };
}

TEST_F(Metafiles, ShapesLandWhereTheyAreDrawnAtEverySize) {
  // Red inside the rectangle near its corners, white just outside each side and far off.
  const std::tuple<double, double, QRgb> points[] = {{0.375, 0.375, Red},  {0.27, 0.27, Red},    {0.48, 0.48, Red},
                                                     {0.22, 0.375, White}, {0.53, 0.375, White}, {0.375, 0.22, White},
                                                     {0.375, 0.53, White}, {0.9, 0.9, White},    {0.02, 0.02, White}};
  for (const auto& [what, bytes, naturalPixels] : redQuarterPictures()) {
    SCOPED_TRACE(what);
    Picture picture;
    ASSERT_EQ(raisedError([&, &bytes = bytes] { picture = Picture::load(writeFile(QStringLiteral("drawn"), bytes)); }),
              0);
    EXPECT_EQ(picture.pixelSize(), naturalPixels);
    // Drawn at three sizes, and the picture's own pixels.
    for (const QImage& shown : {shownAt(picture, {200, 100}), shownAt(picture, {1000, 500}),
                                shownAt(picture, naturalPixels), picture.image()}) {
      SCOPED_TRACE(shown.width());
      const auto at = [&](double x, double y) {
        return shown.pixel(static_cast<int>(x * shown.width()), static_cast<int>(y * shown.height())) | 0xFF000000;
      };
      for (const auto& [x, y, colour] : points) EXPECT_EQ(at(x, y), colour) << x << ", " << y;
    }
  }
}

TEST_F(Metafiles, RealMetafilesLoadWithTheirNaturalSizeAndShowTheirDrawing) {
  const std::tuple<const char*, QSize, bool> samples[] = {
      // the file, its natural size, nothing drawn
      // Placeable WMF: box and units per inch.
      {"libgdiplus_test.wmf", {770, 649}, false},  // polygons, box centred on the origin
      {"poi_60677.wmf", {1693, 1143}, false},      // text, clipping, bitmaps, 72 units an inch
      // Plain WMF: the window extent, a unit a pixel.
      {"poi_testException2.doc-2.wmf", {443, 182}, false},
      // EMF: the frame.
      {"emf2svg_test-000.emf", {464, 239}, false},     // EMF+ with its GDI drawing, transforms, bitmaps
      {"poi_SimpleEMF_windows.emf", {82, 61}, false},  // EMF+, an alpha-blended bitmap
      {"emf2svg_test-030.emf", {635, 762}, true},      // nothing drawn: white at its frame's size
  };
  for (const auto& [file, size, blank] : samples) {
    SCOPED_TRACE(file);
    Picture picture;
    ASSERT_EQ(
        raisedError([&, &file = file] { picture = Picture::load(testData(QStringLiteral("metafiles/") + file)); }), 0);
    EXPECT_EQ(picture.pixelSize(), size);
    for (const QImage& shown : {shownAt(picture, QSize(200, 150)), picture.image()})
      EXPECT_TRUE(blank ? shareOfColouredPixels(shown) == 0 : shareOfColouredPixels(shown) > 0.003);
  }
}

TEST_F(Metafiles, ForgedMetafilesAreInvalidPictures) {
  // A stretched bitmap record whose bitmap header has this length, size and
  // number of colours.
  const auto withBitmap = [](std::uint32_t headerBytes, std::int32_t width, std::int32_t height,
                             std::uint32_t colours = 0) {
    QByteArray bitmap = bitmapFile(width, height, 24, 0, QByteArray(12, '\x7F')).mid(14);  // its header and pixels
    qToLittleEndian(headerBytes, bitmap.data());
    qToLittleEndian(colours, bitmap.data() + 32);
    // Copy the source; colour use, source and destination.
    const QByteArray parameters = QByteArray::fromHex("2000CC00") + QByteArray::fromHex("0A00").repeated(9) + bitmap;
    return WmfBuilder()
        .windowExtent(100, 100)
        .rawRecord(static_cast<std::uint32_t>(3 + parameters.size() / 2), 0x0F43, parameters)
        .plain();
  };
  const std::pair<const char*, QByteArray> forged[] = {
      {"plain WMF that sets no window and draws nothing", WmfBuilder().plain()},
      {"WMF bitmap of ten billion pixels", withBitmap(40, 100'000, 100'000)},
      {"WMF bitmap whose header has no known length", withBitmap(15, 2, 2)},
      {"WMF bitmap of two billion colours", withBitmap(40, 2, 2, 2'000'000'000)},
      // The drawing library aborts on this text; the helper that draws it ends,
      // not this process.
      {"EMF text in a font two million units high",
       drawnEmf(QRect(0, 0, 10000, 5000), {{EmfShape::Kind::Text, QRect(10, 10, 0, 2'097'152), Red, "Hello"}})},
      {"placeable WMF of 32,767 inches",
       WmfBuilder().filled(QRect(0, 0, 10, 10), Red).placeable(QRect(0, 0, 32767, 1), 1)},
  };
  for (const auto& [what, bytes] : forged) {
    const QString path = writeFile(QStringLiteral("forged.wmf"), bytes);
    EXPECT_EQ(raisedError([&] { Picture::load(path); }), platform::errors::InvalidPicture) << what;
  }
}

// A metafile whose helper has gone is converted anew the next time it is
// loaded, not shown blank from the drawing that failed.
TEST_F(Metafiles, ADrawingWhoseHelperDiedIsNotSharedAgain) {
  const QString path = writeFile(QStringLiteral("red.wmf"), redQuarter());
  const Picture first = Picture::load(path);
  ASSERT_EQ(first.pixelSize(), QSize(400, 200));
  for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
    for (const QByteArray& child : contentsOf("/proc/self/task/" + task + "/children").split(' '))
      if (contentsOf("/proc/" + child + "/comm").startsWith("tavlo-metafile")) ::kill(child.toInt(), SIGKILL);
  EXPECT_EQ(shownAt(first, {400, 200}).pixel(150, 75), White) << "its helper is gone";
  EXPECT_EQ(shownAt(Picture::load(path), {400, 200}).pixel(150, 75), Red);
}

}  // namespace
