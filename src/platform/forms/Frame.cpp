#include "platform/forms/Frame.h"

#include <QFrame>

namespace platform {

Frame::Frame(QWidget* parent) : Control(new QFrame(parent)) {
  auto* frame = static_cast<QFrame*>(widget());
  frame->setFrameShape(QFrame::HLine);
  frame->setFrameShadow(QFrame::Sunken);
  frame->setFocusPolicy(Qt::NoFocus);
}

}  // namespace platform
