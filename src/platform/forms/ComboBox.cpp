#include "platform/forms/ComboBox.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/RuntimeError.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace platform {

ComboBox::ComboBox(QWidget* parent) : Control(new QComboBox(parent)) {
  combo_ = static_cast<QComboBox*>(widget());
  combo_->setEditable(true);
  // When editing ends on text that names an item, the combo box chooses that
  // item and reports it as activated. Typing is no choice: the slots around
  // the combo box's own mark that report so that it raises no Click.
  auto* edit = new QLineEdit(combo_);
  edit->setPalette(combo_->palette());
  QObject::connect(edit, &QLineEdit::editingFinished, combo_, [this] { finishingEdit_ = true; });
  combo_->setLineEdit(edit);
  QObject::connect(edit, &QLineEdit::editingFinished, combo_, [this] { finishingEdit_ = false; });
  combo_->setInsertPolicy(QComboBox::NoInsert);
  combo_->setCurrentIndex(-1);
  QObject::connect(combo_, &QComboBox::activated, combo_, [this](int index) {
    if (finishingEdit_) return;
    // The user chose an item: make it the chosen one even when it already was,
    // as a choice from the list always applies it.
    combo_->setCurrentIndex(index);
    showTextFromStart();
    asUserAction([&] { raiseEvent(Click); });
  });
}

void ComboBox::addItem(const QString& item) {
  const QSignalBlocker quiet(combo_);
  const int chosen = combo_->currentIndex();
  const QString typed = combo_->currentText();
  combo_->addItem(item);
  // Adding the first item must not choose it.
  combo_->setCurrentIndex(chosen);
  combo_->setEditText(typed);
  // The drop-down list shows each item whole, however narrow the box.
  QAbstractItemView* list = combo_->view();
  list->setTextElideMode(Qt::ElideNone);
  list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth());
}

int ComboBox::listCount() const { return combo_->count(); }

QString ComboBox::list(int index) const { return combo_->itemText(index); }

int ComboBox::listIndex() const { return combo_->currentIndex(); }

void ComboBox::setListIndex(int index) {
  if (index < -1 || index >= combo_->count()) raise(errors::InvalidPropertyValue);
  if (index == combo_->currentIndex()) return;
  combo_->setCurrentIndex(index);
  if (index == -1) combo_->setEditText(QString());
  showTextFromStart();
  raiseEvent(Click);
}

void ComboBox::showTextFromStart() {
  if (combo_->lineEdit()) combo_->lineEdit()->setCursorPosition(0);
}

QString ComboBox::text() const { return combo_->currentText(); }

}  // namespace platform
