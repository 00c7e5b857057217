#pragma once

#include "platform/forms/Control.h"
#include "platform/pictures/Picture.h"

namespace platform {

// An image control. With stretching off, assigning a picture gives the
// control the picture's natural size plus its border; with stretching on it
// draws the picture scaled to its own size.
class ImageControl : public Control {
 public:
  enum class Border { None, FixedSingle };
  // Width in pixels of the fixed single (3-D) border, on each side.
  static constexpr int BorderPixels = 2;

  ImageControl(QWidget* parent, Border border);

  const Picture& picture() const { return picture_; }
  void setPicture(Picture picture);
  bool stretch() const { return stretch_; }
  void setStretch(bool stretch);
  Border border() const { return border_; }

  // The inside (within the border) of this control at the given size in
  // twips, in the screen's device pixels: the most a picture is drawn at.
  QSize insideDevicePixels(float widthTwips, float heightTwips) const;
  // The size the picture is drawn at as the control stands, in device pixels.
  QSize pictureDevicePixels() const;

  MouseEvent MouseDown;
  Event DblClick;

 private:
  class Widget;
  Widget* view_;
  Picture picture_;
  bool stretch_ = false;
  Border border_;
};

}  // namespace platform
