#include "platform/forms/PictureBox.h"

#include "platform/desktop/ErrorHandling.h"

#include <QMouseEvent>
#include <QPainter>

namespace platform {

class PictureBox::Widget final : public QWidget {
 public:
  Widget(PictureBox* owner, QWidget* parent) : QWidget(parent), owner_(owner) {
    // Children are clipped to a widget's rectangle already; keep the box's
    // own background painted beneath them.
    setAutoFillBackground(true);
  }

  QPixmap picture;

 protected:
  void paintEvent(QPaintEvent*) override {
    if (picture.isNull()) return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture);
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    event->accept();
    asUserAction([&] { raiseEvent(owner_->DblClick); });
  }

 private:
  PictureBox* owner_;
};

PictureBox::PictureBox(QWidget* parent) : Control(new Widget(this, parent)) {}

void PictureBox::setPicture(const QPixmap& picture) {
  auto* box = static_cast<Widget*>(widget());
  box->picture = picture;
  box->update();
}

}  // namespace platform
