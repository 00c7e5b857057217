#pragma once

#include "platform/forms/Control.h"

#include <cstdint>

class QComboBox;

namespace platform {

// A combo box with editable text and a drop-down list. Choosing an item, by
// the user or by setting the list index, raises Click; typing does not.
class ComboBox : public Control {
 public:
  explicit ComboBox(QWidget* parent);

  void addItem(const QString& item);
  int listCount() const;
  QString list(int index) const;
  // -1 when no item is chosen.
  int listIndex() const;
  // Raises the invalid property value error outside -1 to listCount() - 1.
  void setListIndex(int index);
  QString text() const;

  QComboBox* comboBox() const { return combo_; }

  Event Click;

 private:
  // A long item shows its beginning rather than its end.
  void showTextFromStart();

  QComboBox* combo_;
  bool finishingEdit_ = false;
};

}  // namespace platform
