#pragma once

#include "platform/forms/Control.h"

namespace platform {

// A frame without a caption, drawn as a sunken horizontal rule.
class Frame : public Control {
 public:
  explicit Frame(QWidget* parent);
};

}  // namespace platform
