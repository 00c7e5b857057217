#pragma once

#include "platform/forms/Control.h"

class QLabel;

namespace platform {

// A label: a caption that wraps at its width.
class Label : public Control {
 public:
  Label(QWidget* parent, const QString& caption);

  QString caption() const;
  void setCaption(const QString& caption);
  // Repaints the label at once, before the handler goes on.
  void refresh();
  // A label sized to its text takes its width from each new caption.
  void setAutoSize(bool on);

 private:
  void fitToCaption();

  QLabel* label_;
  bool autoSize_ = false;
};

}  // namespace platform
