#include "support/BlankForm.h"

#include "platform/forms/ImageControl.h"

#include <QPainter>

namespace {

using platform::ImageControl;
using platform::Picture;

// Blue top-left quarter, orange elsewhere.
Picture quartered(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(255, 128, 0));
  QPainter(&image).fillRect(0, 0, width / 2, height / 2, Qt::blue);
  return Picture::fromImage(image);
}

using Image = OnBlankForm;

// What a stretched picture looks like on screen follows the control's size and
// its latest picture, even though the scaled copy is kept between paints.
TEST_F(Image, PaintsAStretchedPictureAtTheControlsSize) {
  ImageControl image(form, ImageControl::Border::FixedSingle);
  image.setStretch(true);
  image.move(0, 0, 1560, 960);  // 100 x 60 pixels, 96 x 56 inside the border
  image.setPicture(quartered(4000, 3000));
  showForm();

  const auto colourAt = [&](int x, int y) { return image.widget()->grab().toImage().pixelColor(x, y); };
  EXPECT_EQ(colourAt(2 + 10, 2 + 10), QColor(Qt::blue));
  EXPECT_EQ(colourAt(2 + 90, 2 + 50), QColor(255, 128, 0));
  EXPECT_EQ(colourAt(2 + 90, 2 + 50), QColor(255, 128, 0)) << "painted again";

  image.setWidth(3060);  // 200 pixels wide: the blue quarter now reaches x = 100
  EXPECT_EQ(colourAt(2 + 90, 2 + 10), QColor(Qt::blue));

  image.setPicture(Picture::fromImage([] {
    QImage green(50, 50, QImage::Format_RGB32);
    green.fill(Qt::green);
    return green;
  }()));
  EXPECT_EQ(colourAt(2 + 10, 2 + 10), QColor(Qt::green));
  EXPECT_EQ(image.width(), 3060) << "stretching keeps the size";
}

// On a screen of two device pixels to a pixel a picture is drawn from its
// own pixels at the device's resolution: at its own size each pixel a sharp
// square of four, reduced without first going through the coarser pixels.
TEST(PictureOnAFineScreen, IsDrawnAtTheDevicesResolution) {
  QImage twoPixels(2, 1, QImage::Format_RGB32);
  twoPixels.setPixel(0, 0, qRgb(0, 0, 0));
  twoPixels.setPixel(1, 0, qRgb(255, 255, 255));
  QImage stripes(400, 200, QImage::Format_RGB32);  // 4 black columns, 4 white, ...
  for (int x = 0; x < stripes.width(); ++x)
    for (int y = 0; y < stripes.height(); ++y) stripes.setPixel(x, y, x % 8 < 4 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
  const struct {
    const char* what;
    QImage picture;
    QSize shown;  // logical pixels
    QList<QRgb> firstDeviceRow;
  } cases[] = {
      {"at its own size", twoPixels, {2, 1}, {qRgb(0, 0, 0), qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(255, 255, 255)}},
      // A reduction to a quarter keeps the stripes one device pixel wide; one
      // to an eighth first would turn them grey.
      {"reduced", stripes, {50, 25}, {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(255, 255, 255)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QImage screen(c.shown * 2, QImage::Format_RGB32);
    screen.setDevicePixelRatio(2);
    screen.fill(Qt::red);
    QPainter painter(&screen);
    Picture::fromImage(c.picture).draw(painter, QRect(QPoint(0, 0), c.shown), QRect(QPoint(0, 0), c.shown));
    painter.end();
    for (int x = 0; x < c.firstDeviceRow.size(); ++x) {
      const QColor shown = screen.pixelColor(x, 0), wanted = QColor(c.firstDeviceRow[x]);
      EXPECT_NEAR(shown.lightness(), wanted.lightness(), 40) << "device pixel " << x;
    }
  }
}

}  // namespace
