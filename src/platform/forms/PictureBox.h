#pragma once

#include "platform/forms/Control.h"

#include <QPixmap>

namespace platform {

// A picture box: a container that clips the controls placed in it, and may
// show a picture at its top-left corner.
class PictureBox : public Control {
 public:
  explicit PictureBox(QWidget* parent);

  // The widget that contained controls take as their parent.
  QWidget* container() const { return widget(); }
  void setPicture(const QPixmap& picture);

  Event DblClick;

 private:
  class Widget;
};

}  // namespace platform
