// How a picture is drawn onto a screen of more device pixels than pixels.

#include "platform/pictures/Picture.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

using platform::Picture;

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
