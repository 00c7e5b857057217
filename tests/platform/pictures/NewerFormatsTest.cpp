// HEIC, AVIF and JPEG XL pictures, decoded by the worker through libheif and
// libjxl: made by Debian's encoders at test time, and real files from other
// programs, with their rotation, alpha, thumbnails, passes, animations and
// colour profiles; damaged ones are invalid pictures.
#include "platform/desktop/RuntimeError.h"
#include "platform/pictures/Picture.h"
#include "support/DngFile.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>

using platform::Picture;

namespace {

using NewerFormats = FreshProgram;

// Within a few steps of the colour: most encoders are lossy.
void expectNear(QRgb got, QRgb want, const char* where) {
  EXPECT_LE(std::max({std::abs(qRed(got) - qRed(want)), std::abs(qGreen(got) - qGreen(want)),
                      std::abs(qBlue(got) - qBlue(want))}),
            12)
      << where << ": " << qRed(got) << "," << qGreen(got) << "," << qBlue(got);
}

// The picture drawn at this size, as the preview box shows it.
QImage shown(const Picture& picture, QSize size) {
  picture.prepareDrawing(size);
  QImage screen(size, QImage::Format_RGB32);
  screen.fill(Qt::white);
  QPainter painter(&screen);
  picture.draw(painter, QRect(QPoint(0, 0), size), QRect(QPoint(0, 0), size));
  return screen;
}

constexpr QRgb DrawnRed = qRgb(200, 30, 30), DrawnBlue = qRgb(30, 30, 200);

TEST_F(NewerFormats, PicturesMadeByTheEncodersShowTheirPixelsWholeAndReduced) {
  // 480 by 320: red on the left, blue on the right.
  QImage drawn(480, 320, QImage::Format_RGB32);
  drawn.fill(DrawnBlue);
  for (int y = 0; y < drawn.height(); ++y)
    std::fill_n(reinterpret_cast<QRgb*>(drawn.scanLine(y)), drawn.width() / 2, DrawnRed);
  const QString png = pathOf(QStringLiteral("drawn.png"));
  ASSERT_TRUE(drawn.save(png));
  // The file made, the encoder (from the test set-up's packages) and how.
  const struct {
    const char* name;
    const char* encoder;
    QStringList options;
  } made[] = {
      {"drawn.heic", "heif-enc", {"-q", "90", "-o"}},
      {"drawn.avif", "heif-enc", {"-q", "90", "-o"}},
      {"lossless.jxl", "cjxl", {"-d", "0", "-o"}},
      {"passes.jxl", "cjxl", {"-p", "-d", "1", "-o"}},
  };
  for (const auto& [name, encoder, options] : made) {
    SCOPED_TRACE(name);
    if (QStandardPaths::findExecutable(QString::fromLatin1(encoder)).isEmpty())
      GTEST_SKIP() << encoder << " (installed by the test set-up) is missing";
    const QString path = pathOf(QString::fromLatin1(name));
    // cjxl takes the input first, heif-enc last.
    const QStringList arguments = QLatin1String(encoder) == QLatin1String("cjxl")
                                      ? QStringList{png, path} + options.mid(0, options.size() - 1)
                                      : options + QStringList{path, png};
    ASSERT_EQ(QProcess::execute(QString::fromLatin1(encoder), arguments), 0);

    const Picture preview = Picture::loadFitting(path, QSize(105, 105));
    EXPECT_EQ(preview.pixelSize(), QSize(480, 320)) << "the picture's own size, not the reduced copy's";
    const QImage box = shown(preview, QSize(105, 70));
    expectNear(box.pixel(20, 35), DrawnRed, "left of the preview");
    expectNear(box.pixel(85, 35), DrawnBlue, "right of the preview");

    const Picture whole = Picture::load(path);
    ASSERT_EQ(whole.image().size(), QSize(480, 320));
    expectNear(whole.image().pixel(100, 160), DrawnRed, "left");
    expectNear(whole.image().pixel(380, 160), DrawnBlue, "right");
    const QString bitmap = pathOf(QString::fromLatin1(name) + QStringLiteral(".bmp"));
    whole.saveAsBitmap(bitmap);
    expectNear(QImage(bitmap).pixel(100, 160), DrawnRed, "saved as a bitmap");

    // Cut anywhere after its header, it is no picture.
    const QByteArray bytes = contentsOf(path);
    const QString cut = writeFile(QStringLiteral("cut-") + QString::fromLatin1(name), bytes.left(bytes.size() * 2 / 3));
    EXPECT_EQ(raisedError([&] { Picture::load(cut); }), platform::errors::InvalidPicture);
  }
}

// Two halves side by side.
QImage halves(QSize size, QRgb left, QRgb right) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(right);
  for (int y = 0; y < image.height(); ++y)
    std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)), image.width() / 2, left);
  return image;
}

bool mostlyRed(QRgb pixel) { return qRed(pixel) > qBlue(pixel) + 40; }
bool mostlyBlue(QRgb pixel) { return qBlue(pixel) > qRed(pixel) + 40; }

// A DNG whose sensor saw red and blue halves and whose embedded JPEG is
// green and yellow: what is shown tells which of the two it came from.
TEST_F(NewerFormats, CameraRawPreviewsFromItsJpegAndIsDevelopedForTheViewerAsTheCameraTurnedIt) {
  constexpr QRgb Green = qRgb(40, 200, 40), Yellow = qRgb(230, 220, 40);
  const QImage sensor = halves(QSize(480, 320), DrawnRed, DrawnBlue);
  const struct {
    const char* name;
    QSize embedded;
    int orientation;
    QSize natural;
    bool wholeFromJpeg;
  } files[] = {
      {"small preview.dng", {240, 160}, 1, {480, 320}, false},
      {"full-size preview.dng", {480, 320}, 1, {480, 320}, true},
      {"turned.dng", {240, 160}, 6, {320, 480}, false},
  };
  for (const auto& [name, embedded, orientation, natural, wholeFromJpeg] : files) {
    SCOPED_TRACE(name);
    const QString path =
        writeFile(QString::fromLatin1(name), dngFile(sensor, halves(embedded, Green, Yellow), orientation));
    const bool turned = orientation == 6;
    // Turned a quarter clockwise, the left half is on top.
    const auto first = [&](const QImage& image) {
      return turned ? image.pixel(image.width() / 2, image.height() / 4)
                    : image.pixel(image.width() / 4, image.height() / 2);
    };
    const auto second = [&](const QImage& image) {
      return turned ? image.pixel(image.width() / 2, image.height() * 3 / 4)
                    : image.pixel(image.width() * 3 / 4, image.height() / 2);
    };
    Picture preview, whole;
    ASSERT_EQ(raisedError([&] { preview = Picture::loadFitting(path, QSize(105, 105)); }), 0);
    EXPECT_EQ(preview.pixelSize(), natural);
    const QImage box = shown(preview, natural.scaled(105, 105, Qt::KeepAspectRatio));
    expectNear(first(box), Green, "the preview's first half");
    expectNear(second(box), Yellow, "the preview's second half");

    ASSERT_EQ(raisedError([&] { whole = Picture::load(path); }), 0);
    ASSERT_EQ(whole.image().size(), natural);
    if (wholeFromJpeg) {
      expectNear(first(whole.image()), Green, "the embedded picture's first half");
    } else {
      EXPECT_TRUE(mostlyRed(first(whole.image()))) << "developed: red where the sensor saw red";
      EXPECT_TRUE(mostlyBlue(second(whole.image()))) << "and blue where it saw blue";
    }
  }
}

TEST_F(NewerFormats, RealFilesShowTurnedWithTheirAlphaThumbnailsAndProfiles) {
  // The size the file shows at, after its turns.
  const struct {
    const char* file;
    QSize size;
  } files[] = {
      {"libavif_abc_color_irot_alpha_irot.avif", {256, 512}},     // turned a quarter, alpha turned with it
      {"av1avif_Tomsk_with_thumbnails.avif", {1280, 720}},        // thumbnails of 320 by 180 and 160 by 90
      {"made_logo_adobergb_icc.heic", {640, 480}},                // an Adobe RGB ICC profile
      {"jxlconf_patches.jxl", {1600, 1096}},                      // Display P3 ICC profile, alpha, patches
      {"jxlconf_animation_spline.jxl", {320, 320}},               // an animation: its first frame
      {"jxlconf_grayscale_public_university.jxl", {2880, 1620}},  // grey
      {"oiio_bayer.dng", {256, 172}},                             // a small Bayer DNG, developed
      {"rawpy_RAW_KODAK_DC50_e.KDC", {768, 512}},                 // a Kodak RAW with an embedded picture
  };
  for (const auto& [file, size] : files) {
    SCOPED_TRACE(file);
    const QString path = testData(QString::fromLatin1(file));
    Picture preview, whole;
    ASSERT_EQ(raisedError([&] { preview = Picture::loadFitting(path, QSize(105, 105)); }), 0);
    EXPECT_EQ(preview.pixelSize(), size);
    const QImage box = shown(preview, size.scaled(105, 105, Qt::KeepAspectRatio));
    EXPECT_NE(box.pixel(box.width() / 2, box.height() / 2), qRgb(255, 255, 255)) << "drawn";
    ASSERT_EQ(raisedError([&] { whole = Picture::load(path); }), 0);
    EXPECT_EQ(whole.image().size(), size);
  }
  EXPECT_TRUE(
      Picture::load(testData(QStringLiteral("libavif_abc_color_irot_alpha_irot.avif"))).image().hasAlphaChannel());

  for (const char* broken :
       {"broken/libavif_poc_b_506387278.avif", "broken/nomexif_oom_large_box.heic", "broken/oiio_crash-bfd2220.jxl",
        "broken/oiio_truncated.dng", "broken/filetype_fixture.cr3", "broken/filetype_fixture.nef",
        "broken/filetype_fixture-sony-zv-e10.arw"})
    EXPECT_EQ(raisedError([&] { Picture::load(testData(QString::fromLatin1(broken))); }),
              platform::errors::InvalidPicture)
        << broken;
}

}  // namespace
