#include "BlankForm.h"

#include "platform/ImageControl.h"

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

TEST_F(Image, TakesThePicturesNaturalSizePlusItsBorderUnlessStretching) {
  struct Case {
    ImageControl::Border border;
    bool stretch;
    float width, height;
  };
  const Case cases[] = {
      {ImageControl::Border::FixedSingle, false, 1560, 960},
      {ImageControl::Border::None, false, 1500, 900},
      {ImageControl::Border::FixedSingle, true, 3000, 2000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    ImageControl image(form, c.border);
    image.move(100, 100, 3000, 2000);
    image.setStretch(c.stretch);
    image.setPicture(quartered(100, 60));
    EXPECT_EQ(image.width(), c.width);
    EXPECT_EQ(image.height(), c.height);
    EXPECT_EQ(image.left(), 100);
    EXPECT_EQ(image.widget()->size(), QSize(static_cast<int>(c.width) / 15, static_cast<int>(c.height) / 15));
  }
}

TEST_F(Image, HasAHandleExactlyWhileItHoldsAPicture) {
  ImageControl image(form, ImageControl::Border::FixedSingle);
  EXPECT_EQ(image.picture().handle(), 0u);
  image.setPicture(quartered(10, 10));
  EXPECT_NE(image.picture().handle(), 0u);
  image.setPicture(Picture());
  EXPECT_EQ(image.picture().handle(), 0u);
  EXPECT_TRUE(image.picture().isEmpty());
}

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
