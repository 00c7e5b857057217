#include "viewer/FORM_MiniTavlo.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/Screen.h"
#include "platform/forms/Conversions.h"
#include "platform/forms/DoEvents.h"
#include "platform/pictures/Picture.h"
#include "startup/MODULE_Public.h"

using namespace platform;
using namespace MODULE_Public;

FORM_MiniTavlo::FORM_MiniTavlo() {
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setCaption(QStringLiteral("Preview"));
  setKeyPreview(true);
  setFrameAllowance(FrameWidth, FrameHeight);
  PICTURE_MiniPreview.move(0, 0, 2235, 2115);
  IMAGE_MiniPreview.move(0, 0, 1575, 1575);
  IMAGE_MiniPreview.setAccessibleName(QStringLiteral("Picture"));
  HScroll1.move(0, 2220, 2295, 255);
  VScroll1.move(2340, 0, 255, 2175);
  setWindowWidth(2595 + FrameWidth);
  setWindowHeight(2475 + FrameHeight);
  // The window opens at the screen's top-left corner.
  move(0, 0);

  HScroll1.Change = [this] { HScroll1_Change(); };
  VScroll1.Change = [this] { VScroll1_Change(); };
  IMAGE_MiniPreview.MouseDown = [this](std::int16_t button, std::int16_t shift, float x, float y) {
    IMAGE_MiniPreview_MouseDown(button, shift, x, y);
  };
}

// Opened from the browser, or for a command-line picture at its own size:
// the picture at its own size; else fitted into the design square.
bool FORM_MiniTavlo::fitView() const { return !ViewerFromBrowser && CommandFullSize != 1; }

void FORM_MiniTavlo::Form_Load() {
  fitSize_ = toInt32(IMAGE_MiniPreview.width());
  SkipFailingSteps step;
  step([&] { Screen::setMousePointer(Screen::Hourglass); });
  if (!fitView()) step([&] { IMAGE_MiniPreview.setStretch(false); });
  // The file is opened and decoded off the window's thread; the window
  // appears once the picture is in.
  loadingContinues();
  loading_.run([path = PicturePath](const BackgroundWork& work) { return Picture::load(path, &work); },
               [this](Background<Picture>& loaded) { pictureLoaded(loaded); });
}

void FORM_MiniTavlo::pictureLoaded(Background<Picture>& loaded) {
  SkipFailingSteps step;
  const bool gotPicture = step([&] { IMAGE_MiniPreview.setPicture(loaded.take()); });
  step([&] { DoEvents(); });
  if (fitView() && gotPicture) fitIntoDesignSquare(step);

  // Size the window to the picture, or lay out scroll bars when it does not fit.
  if (fitsOnScreen()) {
    sizeToPicture(step);
    step([&] { HScroll1.setVisible(false); });
    step([&] { VScroll1.setVisible(false); });
  } else {
    step([&] { ArrangeViewer(); });
  }
  // The picture's first drawing, as the window shows it, is made off the
  // window's thread too (a metafile's drawing can take long).
  loading_.run(
      [picture = IMAGE_MiniPreview.picture(), size = IMAGE_MiniPreview.pictureDevicePixels()](
          const BackgroundWork& work) { picture.prepareDrawing(size, &work); },
      [this](Background<void>&) {
        Screen::setMousePointer(Screen::DefaultPointer);
        loadingFinished();
      });
}

// Scaled, keeping its proportions, so that its longer side is the square's.
void FORM_MiniTavlo::fitIntoDesignSquare(SkipFailingSteps& step) {
  const double width = IMAGE_MiniPreview.width();
  const double height = IMAGE_MiniPreview.height();
  if (width <= fitSize_ && height <= fitSize_) {
    // Small enough: its own size.
  } else if (width > height) {
    step([&] { IMAGE_MiniPreview.setHeight(static_cast<float>(toInt32(height * fitSize_ / width))); });
    step([&] { IMAGE_MiniPreview.setWidth(static_cast<float>(fitSize_)); });
    step([&] { IMAGE_MiniPreview.setStretch(true); });
  } else {
    step([&] { IMAGE_MiniPreview.setWidth(static_cast<float>(toInt32(width * fitSize_ / height))); });
    step([&] { IMAGE_MiniPreview.setHeight(static_cast<float>(fitSize_)); });
    step([&] { IMAGE_MiniPreview.setStretch(true); });
  }
}

bool FORM_MiniTavlo::fitsOnScreen() const {
  return IMAGE_MiniPreview.width() + FrameWidth < Screen::width() &&
         IMAGE_MiniPreview.height() + BottomMargin + FrameHeight < Screen::height();
}

void FORM_MiniTavlo::sizeToPicture(SkipFailingSteps& step) {
  step([&] { PICTURE_MiniPreview.setWidth(IMAGE_MiniPreview.width()); });
  step([&] { PICTURE_MiniPreview.setHeight(IMAGE_MiniPreview.height()); });
  step([&] { setWindowWidth(IMAGE_MiniPreview.width() + FrameWidth); });
  step([&] { setWindowHeight(IMAGE_MiniPreview.height() + FrameHeight); });
}

// Each scroll unit moves the picture by 10 twips. A maximum beyond 32 bits
// fails and the old one stays; steps that round to 0 are refused.
void FORM_MiniTavlo::setScrollRange(SkipFailingSteps& step, ScrollBar& bar, float hiddenTwips) {
  step([&] { bar.setMax(toInt32(hiddenTwips / 10.0f)); });
  step([&] {
    if (bar.max() > 0) bar.setSmallChange(toInt32(bar.max() / 4.0));
  });
  step([&] {
    if (bar.max() > 0) bar.setLargeChange(toInt32(bar.max() / 2.0));
  });
}

// The picture moves 10 twips a unit, and the last unit puts its far edge at
// the container's, whichever way the maximum was rounded. An offset beyond
// 32 bits fails, and the picture and the scroll bar go back to the start.
void FORM_MiniTavlo::scrollPicture(ScrollBar& bar, float shownTwips, float pictureTwips,
                                   const std::function<void(float)>& placePicture) {
  SkipFailingSteps step;
  const bool atTheEnd = bar.max() > 0 && bar.value() == bar.max();
  if (!step([&] {
        placePicture(atTheEnd ? shownTwips - pictureTwips
                              : static_cast<float>(toInt32(-static_cast<double>(bar.value()) * 10)));
      })) {
    step([&] { placePicture(0); });
    step([&] { bar.setValue(0); });
  }
}

void FORM_MiniTavlo::ArrangeViewer() {
  SkipFailingSteps step;
  const float screenWidth = Screen::width();
  const float screenHeight = Screen::height();
  const float imageWidth = IMAGE_MiniPreview.width();
  const float imageHeight = IMAGE_MiniPreview.height();

  step([&] {
    const float room = screenWidth - VScroll1.width() - FrameWidth;
    const bool scrolls = room < imageWidth;
    PICTURE_MiniPreview.setWidth(scrolls ? room : imageWidth);
    HScroll1.setEnabled(scrolls);
  });
  step([&] {
    const float room = screenHeight - HScroll1.height() - BottomMargin - FrameHeight;
    const bool scrolls = room < imageHeight;
    PICTURE_MiniPreview.setHeight(scrolls ? room : imageHeight);
    VScroll1.setEnabled(scrolls);
  });

  step([&] {
    HScroll1.setVisible(true);
    HScroll1.setWidth(PICTURE_MiniPreview.width());
    HScroll1.setTop(PICTURE_MiniPreview.height());
  });
  setScrollRange(step, HScroll1, imageWidth - PICTURE_MiniPreview.width());

  step([&] {
    VScroll1.setVisible(true);
    VScroll1.setHeight(PICTURE_MiniPreview.height());
    VScroll1.setLeft(PICTURE_MiniPreview.width());
  });
  setScrollRange(step, VScroll1, imageHeight - PICTURE_MiniPreview.height());

  step([&] { setWindowWidth(PICTURE_MiniPreview.width() + VScroll1.width() + FrameWidth); });
  step([&] { setWindowHeight(PICTURE_MiniPreview.height() + HScroll1.height() + FrameHeight); });
}

void FORM_MiniTavlo::HScroll1_Change() {
  scrollPicture(HScroll1, PICTURE_MiniPreview.width(), IMAGE_MiniPreview.width(),
                [this](float left) { IMAGE_MiniPreview.setLeft(left); });
}

void FORM_MiniTavlo::VScroll1_Change() {
  scrollPicture(VScroll1, PICTURE_MiniPreview.height(), IMAGE_MiniPreview.height(),
                [this](float top) { IMAGE_MiniPreview.setTop(top); });
}

void FORM_MiniTavlo::IMAGE_MiniPreview_MouseDown(std::int16_t button, std::int16_t /*shift*/, float /*x*/,
                                                 float /*y*/) {
  SkipFailingSteps step;
  if (button == mouse::Left) {
    step([&] { unload(); });
    return;
  }
  // Double the displayed size, growing right and down from where it is.
  step([&] { IMAGE_MiniPreview.setStretch(true); });
  step([&] { IMAGE_MiniPreview.setWidth(IMAGE_MiniPreview.width() * 2); });
  step([&] { IMAGE_MiniPreview.setHeight(IMAGE_MiniPreview.height() * 2); });
  if (fitsOnScreen())
    sizeToPicture(step);
  else
    step([&] { ArrangeViewer(); });
}

void FORM_MiniTavlo::Form_KeyPress(std::int16_t& keyAscii) {
  if (keyAscii == 27) unload();
}

void FORM_MiniTavlo::Form_Unload(std::int16_t& /*cancel*/) {
  // Closed while its picture loads: the load comes to nothing.
  if (loading_.supersede()) Screen::setMousePointer(Screen::DefaultPointer);
  // A picture named on the command line was the whole run.
  if (IMAGE_MiniPreview.picture().handle() != 0 && !ViewerFromBrowser) endProgram();
}
