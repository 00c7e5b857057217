#include "platform/forms/ScrollBar.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/RuntimeError.h"

#include <QScrollBar>

namespace platform {

namespace {

std::int16_t checkedStep(int step) {
  if (step < 1 || step > 32767) raise(errors::InvalidPropertyValue);
  return static_cast<std::int16_t>(step);
}

}  // namespace

ScrollBar::ScrollBar(QWidget* parent, Qt::Orientation orientation) : Control(new QScrollBar(orientation, parent)) {
  bar_ = static_cast<QScrollBar*>(widget());
  bar_->setRange(0, 32767);
  bar_->setSingleStep(1);
  bar_->setPageStep(1);
  QObject::connect(bar_, &QScrollBar::valueChanged, bar_, [this] {
    asUserAction([&] { raiseEvent(Change); });
  });
}

std::int16_t ScrollBar::value() const { return static_cast<std::int16_t>(bar_->value()); }

void ScrollBar::setValue(std::int16_t value) {
  if (value < bar_->minimum() || value > bar_->maximum()) raise(errors::InvalidPropertyValue);
  bar_->setValue(value);
}

std::int16_t ScrollBar::min() const { return static_cast<std::int16_t>(bar_->minimum()); }

void ScrollBar::setMin(std::int16_t min) { bar_->setMinimum(min); }

std::int16_t ScrollBar::max() const { return static_cast<std::int16_t>(bar_->maximum()); }

void ScrollBar::setMax(std::int16_t max) { bar_->setMaximum(max); }

std::int16_t ScrollBar::smallChange() const { return static_cast<std::int16_t>(bar_->singleStep()); }

void ScrollBar::setSmallChange(int step) { bar_->setSingleStep(checkedStep(step)); }

std::int16_t ScrollBar::largeChange() const { return static_cast<std::int16_t>(bar_->pageStep()); }

void ScrollBar::setLargeChange(int step) { bar_->setPageStep(checkedStep(step)); }

}  // namespace platform
