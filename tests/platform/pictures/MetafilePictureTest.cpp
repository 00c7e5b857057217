// Windows metafiles through the picture object: real files from other
// programs and pictures drawn here with known shapes, shown at several sizes,
// saved as bitmaps, and damaged ones ending in the invalid-picture error.
#include "platform/pictures/Picture.h"
#include "support/DrawnEmf.h"
#include "support/FreshProgram.h"
#include "support/MetafileBytes.h"
#include "support/RaisedError.h"

#include <QDir>
#include <QPainter>

using platform::Picture;

namespace {

using MetafilePictures = FreshProgram;

constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb White = 0xFFFFFFFF;
constexpr QRgb Unpainted = 0xFF000000;

// The picture drawn to fill a canvas of this size.
QImage shownAt(const Picture& picture, QSize size) {
  QImage canvas(size, QImage::Format_RGB32);
  canvas.fill(Unpainted);
  QPainter painter(&canvas);
  picture.draw(painter, canvas.rect(), canvas.rect());
  return canvas;
}

// Share of pixels that are neither white nor black: more than a blank page.
double shareOfColouredPixels(const QImage& image) {
  qint64 coloured = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y) | 0xFF000000;
      if (pixel != White) ++coloured;
    }
  return static_cast<double>(coloured) / (static_cast<double>(image.width()) * image.height());
}

// A red rectangle over the second quarter of the picture across and down,
// on a white background, as each kind of metafile draws it.
struct RedQuarter {
  const char* what;
  QByteArray bytes;
  QSize naturalPixels;
};

std::vector<RedQuarter> redQuarterPictures() {
  using Shape = EmfShape::Kind;
  const QByteArray drawn = drawnEmf(QRect(0, 0, 10000, 5000),  // 100 by 50 mm: 320 by 160 device units
                                    {{Shape::Rectangle, QRect(0, 0, 320, 160), White},
                                     {Shape::Rectangle, QRect(80, 40, 80, 40), Red}});
  return {
      {"EMF drawn through GDI calls", drawn, QSize(378, 189)},
      {"EMF whose description leaves no room for the header's extensions", withDescriptionAfterFixedHeader(drawn),
       QSize(378, 189)},
      {"EMF whose world transform moves the rectangle into place",
       drawnEmf(QRect(0, 0, 10000, 5000), {{Shape::Rectangle, QRect(0, 0, 320, 160), White},
                                           {Shape::Translate, QRect(60, 30, 0, 0)},
                                           {Shape::Rectangle, QRect(20, 10, 80, 40), Red}}),
       QSize(378, 189)},
      {"EMF filling a path",
       drawnEmf(QRect(0, 0, 10000, 5000),
                {{Shape::Rectangle, QRect(0, 0, 320, 160), White}, {Shape::FilledPath, QRect(80, 40, 80, 40), Red}}),
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
  };
}

TEST_F(MetafilePictures, ShapesLandWhereTheyAreDrawnAtEverySize) {
  for (const auto& c : redQuarterPictures()) {
    SCOPED_TRACE(c.what);
    Picture picture;
    ASSERT_EQ(raisedError([&] { picture = Picture::load(writeFile(QStringLiteral("drawn"), c.bytes)); }), 0);
    EXPECT_EQ(picture.pixelSize(), c.naturalPixels);
    for (const QSize size : {QSize(200, 100), QSize(1000, 500), c.naturalPixels}) {
      SCOPED_TRACE(size.width());
      const QImage shown = shownAt(picture, size);
      const auto at = [&](double x, double y) {
        return shown.pixel(static_cast<int>(x * size.width()), static_cast<int>(y * size.height()));
      };
      EXPECT_EQ(at(0.375, 0.375), Red);
      EXPECT_EQ(at(0.27, 0.27), Red);
      EXPECT_EQ(at(0.48, 0.48), Red);
      EXPECT_EQ(at(0.22, 0.375), White);
      EXPECT_EQ(at(0.53, 0.375), White);
      EXPECT_EQ(at(0.375, 0.22), White);
      EXPECT_EQ(at(0.375, 0.53), White);
      EXPECT_EQ(at(0.9, 0.9), White);
      EXPECT_EQ(at(0.02, 0.02), White);
    }
  }
}

TEST_F(MetafilePictures, RealMetafilesLoadWithTheirNaturalSizeAndShowTheirDrawing) {
  const struct {
    const char* file;
    int width, height;
    bool blank = false;
  } samples[] = {
      // Placeable WMF: box and units per inch.
      {"libgdiplus_test.wmf", 770, 649},    // polygons, box centred on the origin
      {"poi_60677.wmf", 1693, 1143},        // text, clipping, bitmaps, 72 units an inch
      {"poi_64716_image3.wmf", 445, 520},   // mostly text
      {"rtfjs_bm2.wmf", 537, 143},          // a bitmap with text
      // Plain WMF: the window extent, a unit a pixel.
      {"poi_testException2.doc-2.wmf", 443, 182},
      {"rtfjs-rtf_wmf_pict36.wmf", 371, 265},
      // EMF: the frame.
      {"emf2svg_test-000.emf", 464, 239},        // EMF+ with its GDI drawing, transforms, bitmaps
      {"emf2svg_test-023.emf", 229, 135},        // a polygon under a world transform
      {"emf2svg_test-171.emf", 650, 657},        // transformed text
      {"emf2svg_test-186.emf", 150, 51},         // paths, clipping to a path
      {"poi_SimpleEMF_windows.emf", 82, 61},     // EMF+, an alpha-blended bitmap
      {"libgdiplus_test.emf", 73, 71},           // one stretched bitmap
      {"emf2svg_test-030.emf", 635, 762, true},  // nothing drawn: white at its frame's size
  };
  for (const auto& s : samples) {
    SCOPED_TRACE(s.file);
    Picture picture;
    ASSERT_EQ(raisedError([&] { picture = Picture::load(testData(QStringLiteral("metafiles/") + s.file)); }), 0);
    EXPECT_EQ(picture.pixelSize(), QSize(s.width, s.height));
    EXPECT_NE(picture.handle(), 0u);
    for (const QImage& shown : {shownAt(picture, QSize(200, 150)), picture.image()}) {
      if (s.blank)
        EXPECT_EQ(shareOfColouredPixels(shown), 0.0);
      else
        EXPECT_GT(shareOfColouredPixels(shown), 0.003);
    }
  }
}

TEST_F(MetafilePictures, SavedAsBitmapAtNaturalSizeOnWhite) {
  // Drawn without a background: what is not drawn is white in the bitmap.
  const QByteArray emf = drawnEmf(QRect(0, 0, 10000, 5000), {{EmfShape::Kind::Rectangle, QRect(80, 40, 80, 40), Red}});
  const Picture picture = Picture::load(writeFile(QStringLiteral("drawn.emf"), emf));
  ASSERT_EQ(raisedError([&] { picture.saveAsBitmap(pathOf(QStringLiteral("saved.bmp"))); }), 0);
  const QByteArray saved = contentsOf(pathOf(QStringLiteral("saved.bmp")));
  ASSERT_TRUE(saved.startsWith("BM"));
  EXPECT_EQ(saved[28], 24);  // bits a pixel
  const QImage back = Picture::load(pathOf(QStringLiteral("saved.bmp"))).image();
  EXPECT_EQ(back.size(), QSize(378, 189));
  EXPECT_EQ(back.pixel(0, 0), White);
  EXPECT_EQ(back.pixel(377, 188), White);
  EXPECT_EQ(back.pixel(140, 70), Red);
}

TEST_F(MetafilePictures, APlainWmfWithoutAWindowIsAsLargeAsItsDrawing) {
  const QByteArray wmf =
      WmfBuilder().filled(QRect(1000, 500, 300, 120), White).filled(QRect(1000, 500, 150, 60), Red).plain();
  Picture picture;
  ASSERT_EQ(raisedError([&] { picture = Picture::load(writeFile(QStringLiteral("nowindow.wmf"), wmf)); }), 0);
  EXPECT_NEAR(picture.pixelSize().width(), 300, 1);
  EXPECT_NEAR(picture.pixelSize().height(), 120, 1);
  const QImage shown = shownAt(picture, QSize(300, 120));
  EXPECT_EQ(shown.pixel(70, 30), Red);
  EXPECT_EQ(shown.pixel(230, 90), White);
}

TEST_F(MetafilePictures, DamagedOrForgedMetafilesAreInvalidPictures) {
  // A stretched bitmap record whose bitmap header has this length, size and
  // number of colours.
  const auto withBitmap = [](std::uint32_t headerBytes, std::int32_t width, std::int32_t height,
                             std::uint32_t colours = 0) {
    QByteArray parameters;
    appendLittle32(parameters, 0x00CC0020);                        // copy the source
    for (int i = 0; i < 9; ++i) appendLittle16(parameters, 10);  // colour use, source and destination
    appendLittle32(parameters, headerBytes);
    appendLittle32(parameters, static_cast<std::uint32_t>(width));
    appendLittle32(parameters, static_cast<std::uint32_t>(height));
    appendLittle16(parameters, 1);
    appendLittle16(parameters, 24);
    for (const std::uint32_t field : {0u, 0u, 0u, 0u, colours, 0u}) appendLittle32(parameters, field);
    parameters.append(12, '\x7F');
    return WmfBuilder()
        .windowExtent(100, 100)
        .rawRecord(static_cast<std::uint32_t>(3 + parameters.size() / 2), 0x0F43, parameters)
        .plain();
  };
  const QByteArray real = contentsOf(testData(QStringLiteral("metafiles/poi_60677.wmf")));
  const QByteArray realEmf = contentsOf(testData(QStringLiteral("metafiles/emf2svg_test-000.emf")));
  const struct {
    const char* what;
    QByteArray bytes;
  } forged[] = {
      {"WMF cut off after its header", real.left(40)},
      {"EMF cut off after its header", realEmf.left(100)},
      {"plain WMF that sets no window and draws nothing", WmfBuilder().plain()},
      {"plain WMF with a record of four gigabytes", WmfBuilder().windowExtent(100, 100).rawRecord(0xFFFFFFFF, 0x0418).plain()},
      {"WMF bitmap of ten billion pixels", withBitmap(40, 100'000, 100'000)},
      {"WMF bitmap whose header has no known length", withBitmap(15, 2, 2)},
      {"WMF bitmap of two billion colours", withBitmap(40, 2, 2, 2'000'000'000)},
      // The drawing library aborts on this text; the helper that draws it ends,
      // not this process.
      {"EMF text in a font two million units high",
       drawnEmf(QRect(0, 0, 10000, 5000), {{EmfShape::Kind::Text, QRect(10, 10, 0, 2'097'152), Red, "Hello"}})},
      {"placeable WMF of 32,767 inches", WmfBuilder().filled(QRect(0, 0, 10, 10), Red).placeable(QRect(0, 0, 32767, 1), 1)},
  };
  for (const auto& c : forged) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(raisedError([&] { Picture::load(writeFile(QStringLiteral("forged.wmf"), c.bytes)); }),
              platform::errors::InvalidPicture);
  }
  for (const QString& name : QDir(testData(QStringLiteral("broken"))).entryList({"*.wmf", "*.emf"})) {
    SCOPED_TRACE(name.toStdString());
    EXPECT_EQ(raisedError([&] { Picture::load(testData(QStringLiteral("broken/") + name)); }),
              platform::errors::InvalidPicture);
  }
}

}  // namespace
