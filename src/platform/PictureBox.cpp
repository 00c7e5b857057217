#include "platform/PictureBox.h"

namespace platform {

PictureBox::PictureBox(QWidget* parent) : Control(new QWidget(parent)) {
  // Children are clipped to a widget's rectangle already; keep the box's own
  // background painted beneath them.
  widget()->setAutoFillBackground(true);
}

}  // namespace platform
