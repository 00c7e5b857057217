#include "platform/desktop/Screen.h"
#include "platform/forms/Form.h"
#include "support/FreshProgram.h"

#include <QGuiApplication>
#include <QTimer>

namespace {

using platform::DefaultInstance;
using platform::Form;

// A window that counts its loads and unloads, from 0 in the one test here.
class RecordingForm : public Form {
 public:
  static inline int loads = 0, unloads = 0;
  bool visibleWhileLoading = true;

 protected:
  void Form_Load() override {
    ++loads;
    visibleWhileLoading = isVisible();
  }
  void Form_Unload(std::int16_t&) override { ++unloads; }
};

using Forms = FreshProgram;

// Loading runs Form_Load once, before the window shows; a modal show returns
// once the form is unloaded (once it is hidden: the settings' Apply); an
// unloaded form is destroyed and its default instance made anew; ending the
// program destroys every form without unloading it.
TEST_F(Forms, LoadOnceShowModallyUnloadAndEnd) {
  RecordingForm& form = DefaultInstance<RecordingForm>::get();
  form.load();
  form.load();
  EXPECT_EQ(RecordingForm::loads, 1);
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

}  // namespace
