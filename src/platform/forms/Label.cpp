#include "platform/forms/Label.h"

#include "platform/desktop/Screen.h"

#include <QLabel>
#include <QMouseEvent>

namespace platform {

namespace {

// A label takes its own clicks, so that they do not reach the window below.
class LabelWidget final : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
  void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
};

}  // namespace

Label::Label(QWidget* parent, const QString& caption) : Control(new LabelWidget(parent)) {
  label_ = static_cast<QLabel*>(widget());
  label_->setTextFormat(Qt::PlainText);
  label_->setWordWrap(true);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label_->setText(caption);
}

QString Label::caption() const { return label_->text(); }

void Label::setCaption(const QString& caption) {
  label_->setText(caption);
  if (autoSize_) fitToCaption();
}

void Label::setAutoSize(bool on) {
  autoSize_ = on;
  label_->setWordWrap(!on);
  if (on) fitToCaption();
}

void Label::fitToCaption() {
  const int pixels = label_->fontMetrics().horizontalAdvance(label_->text()) + 2 * label_->margin();
  setWidth(static_cast<float>(pixels) * Screen::twipsPerPixelX());
}

void Label::refresh() { label_->repaint(); }

}  // namespace platform
