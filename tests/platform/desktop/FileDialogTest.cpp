// Qt's save dialog doing what the windows ask for ("Save As BMP..." through
// the browser checks the request, its filter entry among it, and the name
// too long to suggest); Qt's input box.
#include "platform/desktop/MODULE_Dialog32.h"
#include "support/FreshProgram.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>

using MODULE_Dialog32::ShowFileDialog;

namespace {

// The text with each '|' a NUL, as the filters are written.
QString withNuls(const char* text) { return QString::fromLatin1(text).replace(QLatin1Char('|'), QChar(u'\0')); }

// Qt's own dialog, driven as a user would: each action runs on the modal
// window of its class as soon as that window is up.
class RealFileDialog : public FreshProgram {
 protected:
  using Action = std::pair<const char*, std::function<void(QWidget*)>>;

  QString run(std::deque<Action> actions) {
    platform::seams().fileDialog = platform::qtSeams().fileDialog;
    auto script = std::make_shared<std::deque<Action>>(std::move(actions));
    poll(script);
    const QString chosen = ShowFileDialog(&owner, 0, "Save As BMP", "photo.bmp", withNuls("Bitmap (*.BMP)|*.bmp"),
                                          withSeparator(folder.path()), "bmp");
    EXPECT_TRUE(script->empty()) << script->size() << " actions left";
    script->clear();
    return chosen;
  }

  // Types a name and presses the dialog's Save button.
  static void save(QWidget* window, const QString& name) {
    window->findChild<QLineEdit*>("fileNameEdit")->setText(name);
    auto* buttons = window->findChild<QDialogButtonBox*>();
    for (QAbstractButton* button : buttons->buttons())
      if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) button->click();
  }

  static std::function<void(QWidget*)> answer(QMessageBox::StandardButton button, QString* text) {
    return [=](QWidget* window) {
      *text = static_cast<QMessageBox*>(window)->text();
      static_cast<QMessageBox*>(window)->button(button)->click();
    };
  }

  QWidget owner;

 private:
  // The next poll is queued before acting, so that it runs inside any
  // message box the action opens.
  static void poll(std::shared_ptr<std::deque<Action>> script) {
    QTimer::singleShot(0, [script] {
      if (script->empty()) return;
      QWidget* modal = QApplication::activeModalWidget();
      std::function<void(QWidget*)> act;
      if (modal && modal->isVisible() && modal->inherits(script->front().first)) {
        act = std::move(script->front().second);
        script->pop_front();
      }
      poll(script);
      if (act) act(modal);
    });
  }
};

// Shown over its owner; a name in a missing folder is refused; the extension
// is added to a typed name before the question whether to replace the file.
// (What it shows is what Qt's dialog is given: Save As BMP checks the request.)
TEST_F(RealFileDialog, OpensOverItsOwnerRefusesAMissingFolderAndAsksBeforeReplacing) {
  writeFile("old.bmp", "kept");
  const QWidget* parent = nullptr;
  QString missingText, replaceText;
  const QString chosen = run({
      {"QFileDialog",
       [&](QWidget* window) {
         parent = window->parentWidget();
         save(window, "missing/copy");
       }},
      {"QMessageBox", answer(QMessageBox::Ok, &missingText)},
      {"QFileDialog", [](QWidget* w) { save(w, "old"); }},
      {"QMessageBox", answer(QMessageBox::Yes, &replaceText)},
  });
  EXPECT_EQ(chosen, pathOf("old.bmp"));
  EXPECT_EQ(parent, &owner);
  EXPECT_TRUE(missingText.contains(pathOf("missing"))) << missingText.toStdString();
  EXPECT_TRUE(replaceText.contains("old.bmp already exists")) << replaceText.toStdString();
}

// The default text shows with the cursor after it and nothing selected, so
// that typing adds to it (selected, it would be typed over; with the cursor
// elsewhere, typed into).
TEST(InputBox, ShowsTheDefaultTextWithTheCursorAfterIt) {
  QTimer::singleShot(0, [] {
    auto* edit = QApplication::activeModalWidget()->findChild<QLineEdit*>();
    QTest::keyClicks(edit, "photo 2.jpg");
    QTest::keyClick(edit, Qt::Key_Return);
  });
  EXPECT_EQ(platform::qtSeams().inputBox->ask("Enter the new name...", "Rename", "/pictures/"), "/pictures/photo 2.jpg");
}

}  // namespace
