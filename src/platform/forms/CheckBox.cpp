#include "platform/forms/CheckBox.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/forms/CompactIndicatorStyle.h"

#include <QCheckBox>

namespace platform {

class CheckBox::Widget final : public QCheckBox {
 public:
  Widget(CheckBox* owner, const QString& caption, QWidget* parent) : QCheckBox(caption, parent), owner_(owner) {
    setTristate(true);
    setStyle(compactIndicatorStyle());
  }

 protected:
  // A click goes through the value, so that it raises Click like code does.
  void nextCheckState() override {
    asUserAction([&] { owner_->setValue(owner_->value() == Checked ? Unchecked : Checked); });
  }

 private:
  CheckBox* owner_;
};

CheckBox::CheckBox(QWidget* parent, const QString& caption) : Control(new Widget(this, caption, parent)) { showValue(); }

void CheckBox::setValue(std::int16_t value) {
  if (value < Unchecked || value > Grayed) raise(errors::InvalidPropertyValue);
  if (value == value_) return;
  value_ = value;
  showValue();
  raiseEvent(Click);
}

void CheckBox::showValue() {
  auto* box = static_cast<QCheckBox*>(widget());
  box->setCheckState(value_ == Checked ? Qt::Checked : value_ == Grayed ? Qt::PartiallyChecked : Qt::Unchecked);
}

}  // namespace platform
