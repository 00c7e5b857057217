#include "platform/forms/ScrollBar.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/RuntimeError.h"

#include <QScrollBar>

namespace platform {

namespace {

std::int32_t checkedStep(std::int32_t step) {
  if (step < 1) raise(errors::InvalidPropertyValue);
  return step;
}

}  // namespace

ScrollBar::ScrollBar(QWidget* parent, Qt::Orientation orientation) : Control(new QScrollBar(orientation, parent)) {
  bar_ = static_cast<QScrollBar*>(widget());
  bar_->setRange(0, 32767);
  bar_->setSingleStep(1);
  bar_->setPageStep(1);
  // The value follows a dragged thumb only when it is let go.
  bar_->setTracking(false);
  QObject::connect(bar_, &QScrollBar::valueChanged, bar_, [this] {
    asUserAction([&] { raiseEvent(Change); });
  });
}

std::int32_t ScrollBar::value() const { return bar_->value(); }

void ScrollBar::setValue(std::int32_t value) {
  if (value < bar_->minimum() || value > bar_->maximum()) raise(errors::InvalidPropertyValue);
  bar_->setValue(value);
}

std::int32_t ScrollBar::min() const { return bar_->minimum(); }

void ScrollBar::setMin(std::int32_t min) { bar_->setMinimum(min); }

std::int32_t ScrollBar::max() const { return bar_->maximum(); }

void ScrollBar::setMax(std::int32_t max) { bar_->setMaximum(max); }

std::int32_t ScrollBar::smallChange() const { return bar_->singleStep(); }

void ScrollBar::setSmallChange(std::int32_t step) { bar_->setSingleStep(checkedStep(step)); }

std::int32_t ScrollBar::largeChange() const { return bar_->pageStep(); }

void ScrollBar::setLargeChange(std::int32_t step) { bar_->setPageStep(checkedStep(step)); }

}  // namespace platform
