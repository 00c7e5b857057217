// What the windows give the person: captions whole in their controls, and
// names a screen reader announces. (Their icon is checked on the installed
// program's window, by scripts/check-install.sh.)

#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_About.h"
#include "dialogs/FORM_Settings.h"
#include "support/FreshProgram.h"
#include "viewer/FORM_MiniTavlo.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyleOptionButton>

namespace {

using platform::DefaultInstance;

std::vector<platform::Form*> everyWindowLoaded() {
  DefaultInstance<FORM_Settings>::get().load();
  DefaultInstance<FORM_Tavlo>::get().showForm();
  DefaultInstance<FORM_About>::get().load();
  DefaultInstance<FORM_MiniTavlo>::get();
  return platform::liveForms();
}

// The rectangle the style gives a button's caption inside the button.
QRect captionRoom(const QAbstractButton& button) {
  QStyleOptionButton option;
  option.initFrom(&button);
  option.text = button.text();
  const QStyle::SubElement caption = qobject_cast<const QCheckBox*>(&button)      ? QStyle::SE_CheckBoxContents
                                     : qobject_cast<const QRadioButton*>(&button) ? QStyle::SE_RadioButtonContents
                                                                                  : QStyle::SE_PushButtonContents;
  return button.style()->subElementRect(caption, &option, &button);
}

TEST_F(FreshProgram, EveryCaptionFitsItsControlAtTheProgramsFont) {
  int measured = 0;
  for (platform::Form* window : everyWindowLoaded()) {
    for (QWidget* control : window->findChildren<QWidget*>()) {
      QRect room;
      QString caption;
      int layout = Qt::TextShowMnemonic;
      if (const auto* button = qobject_cast<QAbstractButton*>(control)) {
        room = captionRoom(*button);
        caption = button->text();
      } else if (const auto* label = qobject_cast<QLabel*>(control)) {
        room = label->contentsRect();
        caption = label->text();
        if (label->wordWrap()) layout |= Qt::TextWordWrap;
      }
      if (caption.isEmpty()) continue;
      ++measured;
      const QRect needed = control->fontMetrics().boundingRect(room, layout, caption);
      EXPECT_TRUE(room.contains(needed)) << window->caption().toStdString() << ": " << caption.toStdString();
    }
  }
  // The browser's (its size labels are empty until a preview), the settings dialog's, the about box's.
  EXPECT_EQ(measured, 3 + 7 + 4);
}

TEST_F(FreshProgram, ScreenReadersAnnounceTheBrowsersPictureButtonsListsAndPreview) {
  FORM_Tavlo& browser = DefaultInstance<FORM_Tavlo>::get();
  browser.showForm();
  const std::pair<const platform::Control*, const char*> named[] = {
      {&browser.BUTTON_Open, "Open"},     {&browser.BUTTON_Fullsize, "Full Size"},
      {&browser.BUTTON_Rename, "Rename"}, {&browser.BUTTON_Delete, "Delete"},
      {&browser.Drive1, "Volumes"},       {&browser.Dir1, "Folders"},
      {&browser.COMBO_Filter, "File Types"}, {&browser.File1, "Files"},
      {&browser.IMAGE_Preview, "Preview"}, {&browser.BUTTON_Settings, "Settings"},
  };
  for (const auto& [control, name] : named) {
    QAccessibleInterface* announced = QAccessible::queryAccessibleInterface(control->widget());
    ASSERT_NE(announced, nullptr) << name;
    // Qt names a combo box on Linux by its text; its description says what it is.
    const auto said = qobject_cast<QComboBox*>(control->widget()) ? QAccessible::Description : QAccessible::Name;
    EXPECT_EQ(announced->text(said), QString::fromLatin1(name));
  }
}

}  // namespace
