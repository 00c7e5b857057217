#include "platform/forms/OptionButtons.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/forms/CompactIndicatorStyle.h"

#include <QRadioButton>

namespace platform {

class OptionButtons::Button final : public Control {
 public:
  Button(QWidget* parent, const QString& caption) : Control(new QRadioButton(caption, parent)) {
    radio()->setAutoExclusive(false);
    radio()->setStyle(compactIndicatorStyle());
  }
  QRadioButton* radio() const { return static_cast<QRadioButton*>(widget()); }
};

OptionButtons::OptionButtons(QWidget* parent) : parent_(parent) {}

OptionButtons::~OptionButtons() = default;

Control& OptionButtons::add(const QString& caption) {
  const int index = count();
  buttons_.push_back(std::make_unique<Button>(parent_, caption));
  QRadioButton* radio = buttons_.back()->radio();
  QObject::connect(radio, &QRadioButton::clicked, radio, [this, index] {
    asUserAction([&] { setValue(index, true); });
  });
  return *buttons_.back();
}

Control& OptionButtons::operator[](int index) {
  if (index < 0 || index >= count()) raise(errors::InvalidProcedureCall);
  return *buttons_[static_cast<size_t>(index)];
}

bool OptionButtons::value(int index) const {
  if (index < 0 || index >= count()) raise(errors::InvalidProcedureCall);
  return buttons_[static_cast<size_t>(index)]->radio()->isChecked();
}

void OptionButtons::setValue(int index, bool on) {
  if (index < 0 || index >= count()) raise(errors::InvalidProcedureCall);
  QRadioButton* radio = buttons_[static_cast<size_t>(index)]->radio();
  if (!on) {
    radio->setChecked(false);
    return;
  }
  for (const auto& button : buttons_) button->radio()->setChecked(button->radio() == radio);
  if (Click) Click(static_cast<std::int16_t>(index));
}

}  // namespace platform
