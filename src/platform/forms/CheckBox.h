#pragma once

#include "platform/forms/Control.h"

#include <cstdint>

namespace platform {

// A check box whose value is 0 (unchecked), 1 (checked) or 2 (greyed).
// Setting a new value raises Click at once; a user's click checks an
// unchecked or greyed box and unchecks a checked one.
class CheckBox : public Control {
 public:
  static constexpr std::int16_t Unchecked = 0;
  static constexpr std::int16_t Checked = 1;
  static constexpr std::int16_t Grayed = 2;

  CheckBox(QWidget* parent, const QString& caption);

  std::int16_t value() const { return value_; }
  // Raises the invalid property value error for anything but 0, 1 and 2.
  void setValue(std::int16_t value);

  Event Click;

 private:
  class Widget;
  void showValue();

  std::int16_t value_ = Unchecked;
};

}  // namespace platform
