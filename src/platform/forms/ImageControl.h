#pragma once

#include "platform/desktop/LatestRequest.h"
#include "platform/forms/Control.h"
#include "platform/pictures/Picture.h"

namespace platform {

// An image control. With stretching off, assigning a picture gives the
// control the picture's natural size plus its border; with stretching on it
// draws the picture scaled to its own size. A paint draws what is made
// already; what it lacks (a scaled copy, a metafile's tiles) is made off the
// window's thread, and the control is painted again when it is there.
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
  // Asks for what a paint lacked: the part (device pixels of the picture at
  // that size) of the picture drawn at size.
  void drawLater(QSize size, const QRect& part);

  Widget* view_;
  Picture picture_;
  bool stretch_ = false;
  Border border_;
  LatestRequest drawing_;
  QSize drawingSize_;
  QRect drawingPart_;
};

}  // namespace platform
