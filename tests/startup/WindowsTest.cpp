// Captions whole in their controls. (The windows' icon is checked on the
// installed program's window, by scripts/check-install.sh.)

#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_About.h"
#include "dialogs/FORM_Settings.h"
#include "support/FreshProgram.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyleOptionButton>

namespace {

using platform::DefaultInstance;

// Where a control's caption goes, as the style lays the control out.
QRect captionRoom(QWidget* control, QString& caption, int& layout) {
  if (const auto* label = qobject_cast<QLabel*>(control)) {
    caption = label->text();
    if (label->wordWrap()) layout |= Qt::TextWordWrap;
    return label->contentsRect();
  }
  const auto* button = qobject_cast<QAbstractButton*>(control);
  if (!button) return {};
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = caption = button->text();
  return button->style()->subElementRect(qobject_cast<QCheckBox*>(control)      ? QStyle::SE_CheckBoxContents
                                         : qobject_cast<QRadioButton*>(control) ? QStyle::SE_RadioButtonContents
                                                                                : QStyle::SE_PushButtonContents,
                                         &option, button);
}

TEST_F(FreshProgram, EveryCaptionFitsItsControlAtTheProgramsFont) {
  DefaultInstance<FORM_Settings>::get().load();
  DefaultInstance<FORM_Tavlo>::get().showForm();
  DefaultInstance<FORM_About>::get().load();
  int measured = 0;
  for (platform::Form* window : platform::liveForms()) {
    for (QWidget* control : window->findChildren<QWidget*>()) {
      QString caption;
      int layout = Qt::TextShowMnemonic;
      const QRect room = captionRoom(control, caption, layout);
      if (caption.isEmpty()) continue;
      ++measured;
      EXPECT_TRUE(room.contains(control->fontMetrics().boundingRect(room, layout, caption)))
          << window->caption().toStdString() << ": " << caption.toStdString();
    }
  }
  // The browser's (its size labels are empty until a preview), the settings dialog's, the about box's.
  EXPECT_EQ(measured, 3 + 7 + 4);
}

}  // namespace
