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

}  // namespace
