#pragma once

#include "platform/Control.h"

namespace platform {

// A picture box: a container that clips the controls placed in it.
class PictureBox : public Control {
 public:
  explicit PictureBox(QWidget* parent);

  // The widget that contained controls take as their parent.
  QWidget* container() const { return widget(); }
};

}  // namespace platform
