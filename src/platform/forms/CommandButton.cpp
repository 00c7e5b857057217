#include "platform/forms/CommandButton.h"

#include "platform/desktop/ErrorHandling.h"

#include <QPushButton>

namespace platform {

CommandButton::CommandButton(QWidget* parent, const QString& caption) : Control(new QPushButton(caption, parent)) {
  button_ = static_cast<QPushButton*>(widget());
  button_->setAutoDefault(false);
  QObject::connect(button_, &QPushButton::clicked, button_, [this] { asUserAction([&] { raiseEvent(Click); }); });
}

QString CommandButton::caption() const { return button_->text(); }

void CommandButton::setPicture(const QIcon& picture, QSize size) {
  button_->setIcon(picture);
  button_->setIconSize(size);
}

void CommandButton::press() { button_->click(); }

}  // namespace platform
