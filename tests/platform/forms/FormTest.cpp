#include "platform/desktop/Screen.h"
#include "platform/forms/ComboBox.h"
#include "platform/forms/CommandButton.h"
#include "platform/forms/DirListBox.h"
#include "platform/forms/Form.h"
#include "support/FreshProgram.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

using platform::DefaultInstance;
using platform::Form;

// A window that records what happens to it. Its folder list shows the
// test's folder, which has one subfolder, "sub".
class RecordingForm : public Form {
 public:
  RecordingForm() {
    resize(600, 400);
    ok.move(150, 600, 1500, 450);
    other.move(1800, 600, 1500, 450);
    combo.move(150, 1200, 3000, 315);
    folders.move(150, 1800, 3000, 2400);
    ok.Click = [this] { ++okClicks; };
    other.Click = [this] { ++otherClicks; };
  }

  platform::CommandButton ok{this, QStringLiteral("OK")};
  platform::CommandButton other{this, QStringLiteral("Other")};
  platform::ComboBox combo{this};
  platform::DirListBox folders{this};

  static inline int loads = 0, unloads = 0;
  bool visibleWhileLoading = true;
  int okClicks = 0, otherClicks = 0;
  QString keys;

 protected:
  void Form_Load() override {
    ++loads;
    visibleWhileLoading = isVisible();
  }
  void Form_Unload(std::int16_t&) override { ++unloads; }
  void Form_KeyPress(std::int16_t& keyAscii) override { keys += QChar(keyAscii); }
};

class Forms : public FreshProgram {
 protected:
  void SetUp() override {
    FreshProgram::SetUp();
    makeFolder(QStringLiteral("sub"));
    RecordingForm::loads = RecordingForm::unloads = 0;
  }
};

// Loading runs Form_Load once, before the window shows; a modal show returns
// once the form is hidden or unloaded; an unloaded form is destroyed and its
// default instance made anew; ending the program destroys every form without
// unloading it.
TEST_F(Forms, LoadOnceShowModallyUnloadAndEnd) {
  RecordingForm& form = DefaultInstance<RecordingForm>::get();
  form.load();
  form.load();
  QTimer::singleShot(0, &form, [&] { form.hideForm(); });
  form.showForm(Form::Modality::Modal);
  EXPECT_EQ(RecordingForm::loads, 1);
  EXPECT_FALSE(form.visibleWhileLoading);
  EXPECT_FALSE(form.isVisible());

  QPointer<RecordingForm> unloaded(&form);
  QTimer::singleShot(0, &form, [&] { form.unload(); });
  form.showForm(Form::Modality::Modal);
  EXPECT_EQ(RecordingForm::unloads, 1);
  EXPECT_FALSE(DefaultInstance<RecordingForm>::exists());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(unloaded.isNull());

  QPointer<RecordingForm> shown(&DefaultInstance<RecordingForm>::get());
  EXPECT_FALSE(shown->isLoaded());
  shown->showForm();
  EXPECT_EQ(RecordingForm::loads, 2);
  EXPECT_FALSE(shown->visibleWhileLoading);
  settle();
  platform::Screen::setMousePointer(platform::Screen::Hourglass);
  platform::endProgram();
  EXPECT_EQ(RecordingForm::unloads, 1);
  EXPECT_TRUE(platform::liveForms().empty());
  EXPECT_EQ(seams.processExit->exits, std::vector<int>{0});
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Key preview shows the form each character and leaves it to the control
// with the focus. Enter presses the default button, unless a button or the
// folder list, which takes Enter itself, has the focus.
TEST_F(Forms, KeyPreviewAndEnterPressingTheDefaultButtonOrTheButtonWithTheFocus) {
  RecordingForm& form = DefaultInstance<RecordingForm>::get();
  form.setKeyPreview(true);
  form.setDefaultButton(&form.ok);
  form.showForm();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  settle();
  form.combo.setFocus();
  QTest::keyClicks(form.combo.comboBox(), QStringLiteral("ab"));
  EXPECT_EQ(form.combo.text(), QStringLiteral("ab"));
  QTest::keyClick(form.combo.comboBox(), Qt::Key_Return);
  EXPECT_EQ(form.keys, QStringLiteral("ab\r"));
  form.other.setFocus();
  QTest::keyClick(form.other.button(), Qt::Key_Return);
  form.folders.setFocus();
  form.folders.tree()->setCurrentItem(form.folders.tree()->findItems("sub", Qt::MatchRecursive)[0]);
  QTest::keyClick(form.folders.tree(), Qt::Key_Return);
  settle();
  EXPECT_EQ(form.folders.path(), pathOf(QStringLiteral("sub")));
  EXPECT_EQ(form.okClicks, 1);
  EXPECT_EQ(form.otherClicks, 1);
}

}  // namespace
