#include "platform/ImageControl.h"

#include "platform/Screen.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace platform {

class ImageControl::Widget final : public QWidget {
 public:
  Widget(ImageControl* owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

  void pictureChanged() {
    scaled_ = QPixmap();
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    const int inset = owner_->border_ == Border::FixedSingle ? BorderPixels : 0;
    const QRect inside = rect().adjusted(inset, inset, -inset, -inset);
    const QImage& image = owner_->picture_.image();
    if (!image.isNull() && inside.isValid()) {
      painter.setClipRect(inside & event->rect());
      if (owner_->stretch_)
        painter.drawPixmap(inside.topLeft(), scaledTo(image, inside.size()));
      else
        drawExposed(painter, image, inside.topLeft(), event->rect());
    }
    painter.setClipping(false);
    if (inset) qDrawWinPanel(&painter, rect(), palette(), /*sunken=*/true);
  }

  void mousePressEvent(QMouseEvent* event) override {
    const float x = static_cast<float>(event->position().x()) * Screen::twipsPerPixelX();
    const float y = static_cast<float>(event->position().y()) * Screen::twipsPerPixelY();
    raiseEvent(owner_->MouseDown, mouse::buttonOf(event->button()), mouse::shiftOf(event->modifiers()), x, y);
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    event->accept();
    raiseEvent(owner_->DblClick);
  }

 private:
  // Only the part of the picture that the paint exposes is drawn.
  static void drawExposed(QPainter& painter, const QImage& image, QPoint origin, const QRect& exposed) {
    const QRect target = exposed & QRect(origin, image.size());
    if (target.isEmpty()) return;
    painter.drawImage(target, image, target.translated(-origin));
  }

  // The picture scaled to the control's inside, made once per size.
  const QPixmap& scaledTo(const QImage& image, QSize size) {
    if (scaled_.size() != size) {
      // Halve quickly first on very large pictures, then smooth the rest.
      QImage source = image;
      if (source.width() > size.width() * 4 && source.height() > size.height() * 4)
        source = source.scaled(size * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
      scaled_ = QPixmap::fromImage(source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    return scaled_;
  }

  ImageControl* owner_;
  QPixmap scaled_;
};

ImageControl::ImageControl(QWidget* parent, Border border)
    : Control(new Widget(this, parent)), border_(border) {
  view_ = static_cast<Widget*>(widget());
}

void ImageControl::setPicture(Picture picture) {
  picture_ = std::move(picture);
  view_->pictureChanged();
  if (stretch_ || picture_.isEmpty()) return;
  const int inset = border_ == Border::FixedSingle ? 2 * BorderPixels : 0;
  setWidth(picture_.width() + static_cast<float>(inset) * Screen::twipsPerPixelX());
  setHeight(picture_.height() + static_cast<float>(inset) * Screen::twipsPerPixelY());
}

void ImageControl::setStretch(bool stretch) {
  if (stretch == stretch_) return;
  stretch_ = stretch;
  view_->update();
}

}  // namespace platform
