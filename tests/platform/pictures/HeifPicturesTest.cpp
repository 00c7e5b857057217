// HEIC and AVIF pictures, decoded by the worker through libheif: made by
// Debian's encoder at test time, and real files from other programs, with
// their rotation, alpha, thumbnails and colour profiles; damaged ones are
// invalid pictures.
#include "platform/desktop/RuntimeError.h"
#include "platform/pictures/Picture.h"
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

using HeifPictures = FreshProgram;

// Within a few steps of the colour: the encoders are lossy.
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

TEST_F(HeifPictures, HeicAndAvifMadeByTheEncoderShowTheirPixelsWholeAndReduced) {
  if (QStandardPaths::findExecutable(QStringLiteral("heif-enc")).isEmpty())
    GTEST_SKIP() << "heif-enc (libheif-examples, installed by the test set-up) is missing";
  // 480 by 320: red on the left, blue on the right.
  QImage drawn(480, 320, QImage::Format_RGB32);
  drawn.fill(DrawnBlue);
  for (int y = 0; y < drawn.height(); ++y)
    std::fill_n(reinterpret_cast<QRgb*>(drawn.scanLine(y)), drawn.width() / 2, DrawnRed);
  ASSERT_TRUE(drawn.save(pathOf(QStringLiteral("drawn.png"))));
  for (const char* name : {"drawn.heic", "drawn.avif"}) {
    SCOPED_TRACE(name);
    const QString path = pathOf(QString::fromLatin1(name));
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("heif-enc"), {QStringLiteral("-q"), QStringLiteral("90"), QStringLiteral("-o"),
                                                       path, pathOf(QStringLiteral("drawn.png"))}),
        0);
    const Picture preview = Picture::loadFitting(path, QSize(105, 105));
    EXPECT_EQ(preview.pixelSize(), QSize(480, 320)) << "the picture's own size, not the reduced copy's";
    const QImage box = shown(preview, QSize(105, 70));
    expectNear(box.pixel(20, 35), DrawnRed, "left of the preview");
    expectNear(box.pixel(85, 35), DrawnBlue, "right of the preview");

    const Picture whole = Picture::load(path);
    ASSERT_EQ(whole.image().size(), QSize(480, 320));
    expectNear(whole.image().pixel(100, 160), DrawnRed, "left");
    expectNear(whole.image().pixel(380, 160), DrawnBlue, "right");

    // Cut anywhere after its header, it is no picture.
    const QByteArray bytes = contentsOf(path);
    const QString cut = writeFile(QStringLiteral("cut-") + QString::fromLatin1(name), bytes.left(bytes.size() * 2 / 3));
    EXPECT_EQ(raisedError([&] { Picture::load(cut); }), platform::errors::InvalidPicture);
  }
}

TEST_F(HeifPictures, RealFilesShowTurnedWithTheirAlphaThumbnailsAndProfiles) {
  // The size the file shows at, as libheif reports it after its turns.
  const struct {
    const char* file;
    QSize size;
  } files[] = {
      {"libavif_abc_color_irot_alpha_irot.avif", {256, 512}},  // turned a quarter, alpha turned with it
      {"av1avif_Tomsk_with_thumbnails.avif", {1280, 720}},     // thumbnails of 320 by 180 and 160 by 90
      {"made_logo_adobergb_icc.heic", {640, 480}},             // an Adobe RGB ICC profile
  };
  for (const auto& [file, size] : files) {
    SCOPED_TRACE(file);
    const Picture preview = Picture::loadFitting(testData(QString::fromLatin1(file)), QSize(105, 105));
    EXPECT_EQ(preview.pixelSize(), size);
    const QImage box = shown(preview, size.scaled(105, 105, Qt::KeepAspectRatio));
    EXPECT_NE(box.pixel(box.width() / 2, box.height() / 2), qRgb(255, 255, 255)) << "drawn";
    EXPECT_EQ(Picture::load(testData(QString::fromLatin1(file))).image().size(), size);
  }
  EXPECT_TRUE(
      Picture::load(testData(QStringLiteral("libavif_abc_color_irot_alpha_irot.avif"))).image().hasAlphaChannel());

  for (const char* broken : {"broken/libavif_poc_b_506387278.avif", "broken/nomexif_oom_large_box.heic"})
    EXPECT_EQ(raisedError([&] { Picture::load(testData(QString::fromLatin1(broken))); }),
              platform::errors::InvalidPicture)
        << broken;
}

}  // namespace
