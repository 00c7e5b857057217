#include "platform/forms/Control.h"

#include "platform/desktop/Screen.h"

#include <QAbstractButton>
#include <QComboBox>

namespace platform {

namespace mouse {

std::int16_t buttonOf(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton: return Left;
    case Qt::RightButton: return Right;
    case Qt::MiddleButton: return Middle;
    default: return 0;
  }
}

std::int16_t shiftOf(Qt::KeyboardModifiers modifiers) {
  std::int16_t shift = 0;
  if (modifiers & Qt::ShiftModifier) shift |= 1;
  if (modifiers & Qt::ControlModifier) shift |= 2;
  if (modifiers & Qt::AltModifier) shift |= 4;
  return shift;
}

}  // namespace mouse

Control::Control(QWidget* widget) : widget_(widget) {}

Control::~Control() { delete widget_.data(); }

void Control::setLeft(float twips) {
  left_ = twips;
  place();
}

void Control::setTop(float twips) {
  top_ = twips;
  place();
}

void Control::setWidth(float twips) {
  checkedPixels(twips, Screen::twipsPerPixelX());
  width_ = twips < 0 ? 0 : twips;
  place();
}

void Control::setHeight(float twips) {
  checkedPixels(twips, Screen::twipsPerPixelY());
  height_ = twips < 0 ? 0 : twips;
  place();
}

void Control::move(float left, float top, float width, float height) {
  left_ = left;
  top_ = top;
  width_ = width < 0 ? 0 : width;
  height_ = height < 0 ? 0 : height;
  place();
}

void Control::place() {
  if (!widget_) return;
  const int x = twipsToPixelsX(left_);
  const int y = twipsToPixelsY(top_);
  widget_->setGeometry(x, y, twipsToPixelsX(width_), twipsToPixelsY(height_));
}

bool Control::visible() const { return widget_ && !widget_->isHidden(); }

void Control::setVisible(bool visible) {
  if (widget_) widget_->setVisible(visible);
}

bool Control::enabled() const { return widget_ && widget_->isEnabled(); }

void Control::setEnabled(bool enabled) {
  if (widget_) widget_->setEnabled(enabled);
}

void Control::setToolTipText(const QString& text) {
  if (!widget_) return;
  widget_->setToolTip(text);
  if (const auto* button = qobject_cast<QAbstractButton*>(widget_); button && button->text().isEmpty())
    widget_->setAccessibleName(text);
}

void Control::setAccessibleName(const QString& name) {
  if (!widget_) return;
  widget_->setAccessibleName(name);
  // On Linux Qt announces a combo box's text as its name; it says what the
  // box is in the description.
  if (qobject_cast<QComboBox*>(widget_)) widget_->setAccessibleDescription(name);
}

void Control::setFocus() {
  if (widget_) widget_->setFocus(Qt::OtherFocusReason);
}

}  // namespace platform
