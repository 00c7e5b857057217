#pragma once

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/LatestRequest.h"
#include "platform/forms/Form.h"
#include "platform/forms/ImageControl.h"
#include "platform/forms/PictureBox.h"
#include "platform/forms/ScrollBar.h"

#include <cstdint>
#include <functional>

// The viewer: one picture at its own size (or fitted into a small square for
// a picture named on the command line), in a window that fits the screen,
// with scroll bars when the picture does not. Right or middle clicks double
// the displayed size; a left click or Esc closes it. The picture is read off
// the window's thread; the window appears once it is in.
class FORM_MiniTavlo : public platform::Form {
 public:
  FORM_MiniTavlo();

  // The file to show, handed over by whoever opens the viewer.
  QString PicturePath;

  platform::PictureBox PICTURE_MiniPreview{this};
  platform::ImageControl IMAGE_MiniPreview{PICTURE_MiniPreview.container(), platform::ImageControl::Border::None};
  platform::ScrollBar HScroll1{this, Qt::Horizontal};
  platform::ScrollBar VScroll1{this, Qt::Vertical};

  void ArrangeViewer();
  void HScroll1_Change();
  void VScroll1_Change();
  void IMAGE_MiniPreview_MouseDown(std::int16_t button, std::int16_t shift, float x, float y);

  // The window's frame and title bar, and the room kept free below the window.
  static constexpr float FrameWidth = 90;
  static constexpr float FrameHeight = 330;
  static constexpr float BottomMargin = 500;

 protected:
  void Form_Load() override;
  void Form_KeyPress(std::int16_t& keyAscii) override;
  void Form_Unload(std::int16_t& cancel) override;

 private:
  bool fitView() const;
  void pictureLoaded(platform::Background<platform::Picture>& loaded);
  void fitIntoDesignSquare(platform::SkipFailingSteps& step);
  bool fitsOnScreen() const;
  void sizeToPicture(platform::SkipFailingSteps& step);
  static void setScrollRange(platform::SkipFailingSteps& step, platform::ScrollBar& bar, float hiddenTwips);
  static void scrollPicture(platform::ScrollBar& bar, float shownTwips, float pictureTwips,
                            const std::function<void(float)>& placePicture);

  // The width of the design square a command-line picture is fitted into.
  std::int32_t fitSize_ = 0;
  platform::LatestRequest loading_;
};
