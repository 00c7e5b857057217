#pragma once

#include "platform/forms/Control.h"

#include <cstdint>

class QScrollBar;

namespace platform {

// A scroll bar with 32-bit value, minimum and maximum. Small and large
// changes must be at least 1: another value raises the invalid property
// value error and the old step stays. Every change of value raises Change; a
// dragged thumb changes the value when it is released.
class ScrollBar : public Control {
 public:
  ScrollBar(QWidget* parent, Qt::Orientation orientation);

  std::int32_t value() const;
  void setValue(std::int32_t value);
  std::int32_t min() const;
  void setMin(std::int32_t min);
  std::int32_t max() const;
  void setMax(std::int32_t max);
  std::int32_t smallChange() const;
  void setSmallChange(std::int32_t step);
  std::int32_t largeChange() const;
  void setLargeChange(std::int32_t step);

  QScrollBar* scrollBar() const { return bar_; }

  Event Change;

 private:
  QScrollBar* bar_;
};

}  // namespace platform
