#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace platform {

// Event slots of controls: a form assigns its handler; raising an event with
// no handler does nothing. Events raised by setting a property run at once,
// nested inside the statement that set it.
using Event = std::function<void()>;
using MouseEvent = std::function<void(std::int16_t button, std::int16_t shift, float x, float y)>;

template <class Handler, class... Args>
void raiseEvent(const Handler& handler, Args&&... args) {
  if (handler) handler(std::forward<Args>(args)...);
}

// Mouse buttons as mouse events report them.
namespace mouse {
inline constexpr std::int16_t Left = 1;
inline constexpr std::int16_t Right = 2;
inline constexpr std::int16_t Middle = 4;
std::int16_t buttonOf(Qt::MouseButton button);
std::int16_t shiftOf(Qt::KeyboardModifiers modifiers);
}  // namespace mouse

// What every control has: a rectangle in twips (single precision, relative
// to its container), visibility, enabled state and a tooltip. The widget is
// placed at the rectangle divided by twips per pixel, rounded.
class Control {
 public:
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  float left() const { return left_; }
  float top() const { return top_; }
  float width() const { return width_; }
  float height() const { return height_; }
  void setLeft(float twips);
  void setTop(float twips);
  void setWidth(float twips);
  void setHeight(float twips);
  void move(float left, float top, float width, float height);

  bool visible() const;
  void setVisible(bool visible);
  bool enabled() const;
  void setEnabled(bool enabled);
  // A button without a caption is also announced by its tooltip.
  void setToolTipText(const QString& text);
  // What a screen reader announces for the control.
  void setAccessibleName(const QString& name);
  void setFocus();

  QWidget* widget() const { return widget_; }

 protected:
  // Takes ownership of the widget.
  explicit Control(QWidget* widget);

 private:
  void place();

  QPointer<QWidget> widget_;
  float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

}  // namespace platform
