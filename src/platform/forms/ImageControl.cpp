#include "platform/forms/ImageControl.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/Screen.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace platform {

class ImageControl::Widget final : public QWidget {
 public:
  Widget(ImageControl* owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

  void pictureChanged() { update(); }

 protected:
  // The picture draws the part the paint exposes: at its natural size, or
  // scaled to the control's inside when stretching.
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    const int inset = owner_->border_ == Border::FixedSingle ? BorderPixels : 0;
    const QRect inside = rect().adjusted(inset, inset, -inset, -inset);
    const Picture& picture = owner_->picture_;
    if (!picture.isEmpty() && inside.isValid()) {
      const QRect target = owner_->stretch_ ? inside : QRect(inside.topLeft(), picture.pixelSize());
      const QRect exposed = inside & event->rect();
      painter.setClipRect(exposed);
      if (!picture.draw(painter, target, exposed)) {
        const qreal ratio = devicePixelRatioF();
        const auto device = [ratio](int logical) { return static_cast<int>(std::lround(logical * ratio)); };
        const QRect part = (exposed & target).translated(-target.topLeft());
        owner_->drawLater(QSize(device(target.width()), device(target.height())),
                          QRect(QPoint(device(part.left()), device(part.top())),
                                QPoint(device(part.right() + 1) - 1, device(part.bottom() + 1) - 1)));
      }
    }
    painter.setClipping(false);
    if (inset) qDrawWinPanel(&painter, rect(), palette(), /*sunken=*/true);
  }

  void mousePressEvent(QMouseEvent* event) override {
    const float x = static_cast<float>(event->position().x()) * Screen::twipsPerPixelX();
    const float y = static_cast<float>(event->position().y()) * Screen::twipsPerPixelY();
    asUserAction([&] {
      raiseEvent(owner_->MouseDown, mouse::buttonOf(event->button()), mouse::shiftOf(event->modifiers()), x, y);
    });
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    event->accept();
    asUserAction([&] { raiseEvent(owner_->DblClick); });
  }

 private:
  ImageControl* owner_;
};

ImageControl::ImageControl(QWidget* parent, Border border)
    : Control(new Widget(this, parent)), border_(border) {
  view_ = static_cast<Widget*>(widget());
}

void ImageControl::setPicture(Picture picture) {
  drawing_.supersede();
  picture_ = std::move(picture);
  view_->pictureChanged();
  if (stretch_ || picture_.isEmpty()) return;
  const int inset = border_ == Border::FixedSingle ? 2 * BorderPixels : 0;
  setWidth(picture_.width() + static_cast<float>(inset) * Screen::twipsPerPixelX());
  setHeight(picture_.height() + static_cast<float>(inset) * Screen::twipsPerPixelY());
}

QSize ImageControl::insideDevicePixels(float widthTwips, float heightTwips) const {
  const int inset = border_ == Border::FixedSingle ? 2 * BorderPixels : 0;
  const qreal ratio = view_->devicePixelRatioF();
  const auto device = [ratio](int pixels) { return static_cast<int>(std::lround(std::max(0, pixels) * ratio)); };
  return QSize(device(twipsToPixelsX(widthTwips) - inset), device(twipsToPixelsY(heightTwips) - inset));
}

QSize ImageControl::pictureDevicePixels() const {
  if (!stretch_) {
    const qreal ratio = view_->devicePixelRatioF();
    const QSize natural = picture_.pixelSize();
    return QSize(static_cast<int>(std::lround(natural.width() * ratio)),
                 static_cast<int>(std::lround(natural.height() * ratio)));
  }
  return insideDevicePixels(width(), height());
}

void ImageControl::drawLater(QSize size, const QRect& part) {
  // Paints meanwhile at the same size ask for the parts together.
  const bool sameSize = drawing_.inProgress() && size == drawingSize_;
  if (sameSize && drawingPart_.contains(part)) return;
  drawingPart_ = sameSize ? drawingPart_ | part : part;
  drawingSize_ = size;
  drawing_.run([picture = picture_, size, part = drawingPart_](
                   const BackgroundWork& work) { picture.prepareDrawing(size, part, &work); },
               [this](Background<void>&) { view_->update(); });
}

void ImageControl::setStretch(bool stretch) {
  if (stretch == stretch_) return;
  stretch_ = stretch;
  view_->update();
}

}  // namespace platform
