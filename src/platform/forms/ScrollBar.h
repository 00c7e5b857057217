#pragma once

#include "platform/forms/Control.h"

#include <cstdint>

class QScrollBar;

namespace platform {

// A scroll bar with 16-bit value, minimum and maximum. Small and large
// changes accept only 1 to 32767: another value raises the invalid property
// value error and the old step stays. Every change of value raises Change.
class ScrollBar : public Control {
 public:
  ScrollBar(QWidget* parent, Qt::Orientation orientation);

  std::int16_t value() const;
  void setValue(std::int16_t value);
  std::int16_t min() const;
  void setMin(std::int16_t min);
  std::int16_t max() const;
  void setMax(std::int16_t max);
  std::int16_t smallChange() const;
  void setSmallChange(int step);
  std::int16_t largeChange() const;
  void setLargeChange(int step);

  QScrollBar* scrollBar() const { return bar_; }

  Event Change;

 private:
  QScrollBar* bar_;
};

}  // namespace platform
