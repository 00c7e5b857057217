#pragma once

#include "platform/forms/Control.h"

#include <QIcon>

class QPushButton;

namespace platform {

// A command button, with a caption ("&" marks the access key) or, in the
// graphical style, a picture.
class CommandButton : public Control {
 public:
  CommandButton(QWidget* parent, const QString& caption);

  QString caption() const;
  void setPicture(const QIcon& picture, QSize size);
  // Presses the button as a click would.
  void press();

  QPushButton* button() const { return button_; }

  Event Click;

 private:
  QPushButton* button_;
};

}  // namespace platform
