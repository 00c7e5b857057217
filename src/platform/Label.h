#pragma once

#include "platform/Control.h"

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

 private:
  QLabel* label_;
};

}  // namespace platform
