#pragma once

#include "platform/forms/Control.h"

#include <functional>
#include <memory>
#include <vector>

namespace platform {

// An indexed array of option buttons, of which at most one is set. Setting
// one (by code or by a click) clears the others and raises Click with its index.
class OptionButtons {
 public:
  explicit OptionButtons(QWidget* parent);
  ~OptionButtons();

  // Adds the button of the next index.
  Control& add(const QString& caption);
  int count() const { return static_cast<int>(buttons_.size()); }
  Control& operator[](int index);
  // Raises the invalid procedure call error for an index that is not in the array.
  bool value(int index) const;
  void setValue(int index, bool on);

  std::function<void(std::int16_t index)> Click;

 private:
  class Button;
  QWidget* parent_;
  std::vector<std::unique_ptr<Button>> buttons_;
};

}  // namespace platform
