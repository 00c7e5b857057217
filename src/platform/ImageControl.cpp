#include "platform/ImageControl.h"

#include "platform/ErrorHandling.h"
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
      const QRect exposed = inside & event->rect();
      painter.setClipRect(exposed);
      if (!owner_->stretch_)
        drawExposed(painter, image, inside.topLeft(), exposed);
      else if (static_cast<qint64>(inside.width()) * inside.height() <= CachedPixelsLimit)
        painter.drawPixmap(inside.topLeft(), scaledTo(image, inside.size()));
      else {
        scaled_ = QPixmap();
        drawExposedScaled(painter, image, inside, exposed);
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
  // Only the part of the picture that the paint exposes is drawn.
  static void drawExposed(QPainter& painter, const QImage& image, QPoint origin, const QRect& exposed) {
    const QRect target = exposed & QRect(origin, image.size());
    if (target.isEmpty()) return;
    painter.drawImage(target, image, target.translated(-origin));
  }

  // Enlarged this much or more, pixels are shown as sharp squares.
  static bool showsPixels(const QImage& image, QSize size) {
    return size.width() >= 2 * image.width() && size.height() >= 2 * image.height();
  }

  // The picture scaled to the control's inside, made once per size; used
  // while that copy is small.
  const QPixmap& scaledTo(const QImage& image, QSize size) {
    if (scaled_.size() != size) {
      QImage source = image;
      // Very large reductions: a quick first pass, then smoothing.
      if (source.width() > size.width() * 4 && source.height() > size.height() * 4)
        source = source.scaled(size * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
      const Qt::TransformationMode mode = showsPixels(image, size) ? Qt::FastTransformation : Qt::SmoothTransformation;
      scaled_ = QPixmap::fromImage(source.scaled(size, Qt::IgnoreAspectRatio, mode));
    }
    return scaled_;
  }

  // A large enlargement: only the exposed part of the picture is scaled,
  // straight from the decoded picture.
  static void drawExposedScaled(QPainter& painter, const QImage& image, const QRect& inside, const QRect& exposed) {
    const double scaleX = static_cast<double>(inside.width()) / image.width();
    const double scaleY = static_cast<double>(inside.height()) / image.height();
    const QRectF source((exposed.left() - inside.left()) / scaleX, (exposed.top() - inside.top()) / scaleY,
                        exposed.width() / scaleX, exposed.height() / scaleY);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !showsPixels(image, inside.size()));
    painter.drawImage(QRectF(exposed), image, source);
  }

  // A scaled copy larger than this is not kept.
  static constexpr qint64 CachedPixelsLimit = 4'000'000;

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
