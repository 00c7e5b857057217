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

#include <vector>

namespace {

using platform::DefaultInstance;
using platform::Form;

// A window that records what happens to it. Its folder list shows the
// test's folder, which has one subfolder, "sub".
class RecordingForm : public Form {
 public:
  RecordingForm() {
    ++made;
    resize(600, 400);
    ok.move(150, 600, 1500, 450);
    other.move(1800, 600, 1500, 450);
    combo.move(150, 1200, 3000, 315);
    folders.move(150, 1800, 3000, 2400);
    ok.Click = [this] { ++okClicks; };
  }

  platform::CommandButton ok{this, QStringLiteral("OK")};
  platform::CommandButton other{this, QStringLiteral("Other")};
  platform::ComboBox combo{this};
  platform::DirListBox folders{this};

  static inline int made = 0, loads = 0, unloads = 0;
  bool cancelUnload = false, visibleWhileLoading = false;
  int okClicks = 0;
  std::vector<int> keys;
  QStringList comboTextAtKeys;

 protected:
  void Form_Load() override {
    ++loads;
    visibleWhileLoading = isVisible();
  }
  void Form_Unload(std::int16_t& cancel) override {
    ++unloads;
    if (cancelUnload) cancel = 1;
  }
  void Form_KeyPress(std::int16_t& keyAscii) override {
    keys.push_back(keyAscii);
    comboTextAtKeys.append(combo.text());
  }
};

class Forms : public FreshProgram {
 protected:
  void SetUp() override {
    FreshProgram::SetUp();
    makeFolder(QStringLiteral("sub"));
    RecordingForm::made = RecordingForm::loads = RecordingForm::unloads = 0;
  }

  static RecordingForm& shownActive() {
    RecordingForm& form = DefaultInstance<RecordingForm>::get();
    form.showForm();
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    return form;
  }

  static void deleteUnloaded() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

TEST_F(Forms, LoadRunsFormLoadOnceWithoutShowingAndShowLoadsFirst) {
  RecordingForm& form = DefaultInstance<RecordingForm>::get();
  EXPECT_EQ(RecordingForm::loads, 0);
  form.load();
  form.load();
  EXPECT_EQ(RecordingForm::loads, 1);
  EXPECT_FALSE(form.visibleWhileLoading);
  EXPECT_FALSE(form.isVisible());
  form.showForm();
  EXPECT_EQ(RecordingForm::loads, 1);
  EXPECT_TRUE(form.isVisible());

  auto* fresh = new RecordingForm;
  fresh->showForm();
  EXPECT_EQ(RecordingForm::loads, 2);
  EXPECT_TRUE(fresh->isLoaded());
}

TEST_F(Forms, UnloadingRunsFormUnloadUnlessCancelledAndGivesANewDefaultInstance) {
  RecordingForm& first = DefaultInstance<RecordingForm>::get();
  EXPECT_EQ(&DefaultInstance<RecordingForm>::get(), &first);
  first.showForm();

  const std::pair<const char*, std::function<void(Form&)>> ways[] = {
      {"unload", [](Form& f) { f.unload(); }},
      {"closing the window", [](Form& f) { f.close(); }},
  };
  for (const auto& [way, unload] : ways) {
    SCOPED_TRACE(way);
    RecordingForm::unloads = 0;
    QPointer<RecordingForm> form(&DefaultInstance<RecordingForm>::get());
    form->showForm();
    form->cancelUnload = true;
    unload(*form);
    EXPECT_EQ(RecordingForm::unloads, 1);
    EXPECT_TRUE(form->isLoaded());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(&DefaultInstance<RecordingForm>::get(), form.data());

    form->cancelUnload = false;
    const int made = RecordingForm::made;
    unload(*form);
    EXPECT_EQ(RecordingForm::unloads, 2);
    EXPECT_FALSE(DefaultInstance<RecordingForm>::exists());
    deleteUnloaded();
    EXPECT_TRUE(form.isNull());
    RecordingForm& next = DefaultInstance<RecordingForm>::get();
    EXPECT_EQ(RecordingForm::made, made + 1);
    EXPECT_FALSE(next.isLoaded());
  }
}

TEST_F(Forms, AModalShowReturnsOnceTheFormIsHiddenOrUnloaded) {
  RecordingForm& form = DefaultInstance<RecordingForm>::get();
  bool shownWhileModal = false;
  QTimer::singleShot(0, &form, [&] {
    shownWhileModal = form.isVisible();
    form.hideForm();
  });
  form.showForm(Form::Modality::Modal);
  EXPECT_TRUE(shownWhileModal);
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(form.isLoaded());

  QPointer<RecordingForm> alive(&form);
  QTimer::singleShot(0, &form, [&] { form.unload(); });
  form.showForm(Form::Modality::Modal);
  EXPECT_EQ(RecordingForm::unloads, 1);
  deleteUnloaded();
  EXPECT_TRUE(alive.isNull());
}

TEST_F(Forms, KeyPreviewSeesEachCharacterBeforeTheFocusedControl) {
  RecordingForm& form = shownActive();
  form.combo.setFocus();
  QTest::keyClicks(form.combo.comboBox(), QStringLiteral("ab"));
  EXPECT_TRUE(form.keys.empty()) << "key preview is off";

  form.setKeyPreview(true);
  QTest::keyClicks(form.combo.comboBox(), QStringLiteral("cd"));
  QTest::keyClick(form.combo.comboBox(), Qt::Key_Escape);
  EXPECT_EQ(form.keys, (std::vector<int>{'c', 'd', 27}));
  EXPECT_EQ(form.comboTextAtKeys, (QStringList{"ab", "abc", "abcd"}));
  EXPECT_EQ(form.combo.text(), QStringLiteral("abcd"));
}

TEST_F(Forms, EnterPressesTheDefaultButtonUnlessTheFocusedControlTakesIt) {
  RecordingForm& form = shownActive();
  form.setDefaultButton(&form.ok);

  form.combo.setFocus();
  QTest::keyClick(form.combo.comboBox(), Qt::Key_Return);
  EXPECT_EQ(form.okClicks, 1);

  form.other.setFocus();
  QTest::keyClick(form.other.button(), Qt::Key_Return);
  EXPECT_EQ(form.okClicks, 1) << "a button has the focus";

  form.folders.setFocus();
  QTreeWidget* tree = form.folders.tree();
  QTest::keyClick(tree, Qt::Key_Down);
  ASSERT_EQ(tree->currentItem()->text(0), QStringLiteral("sub"));
  QTest::keyClick(tree, Qt::Key_Return);
  EXPECT_EQ(form.okClicks, 1) << "the folder list takes Enter";
  EXPECT_EQ(form.folders.path(), pathOf(QStringLiteral("sub")));
}

TEST_F(Forms, EndProgramDestroysEveryFormWithoutUnloadingAndExitsOnce) {
  QPointer<RecordingForm> shown(&DefaultInstance<RecordingForm>::get());
  shown->showForm();
  QPointer<RecordingForm> loaded(new RecordingForm);
  loaded->load();
  platform::Screen::setMousePointer(platform::Screen::Hourglass);

  platform::endProgram();
  EXPECT_EQ(RecordingForm::unloads, 0);
  EXPECT_TRUE(platform::liveForms().empty());
  EXPECT_EQ(seams.processExit->exits, std::vector<int>{0});
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  deleteUnloaded();
  EXPECT_TRUE(shown.isNull());
  EXPECT_TRUE(loaded.isNull());
}

}  // namespace
