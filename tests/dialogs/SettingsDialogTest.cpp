#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_Settings.h"
#include "platform/desktop/CommandLine.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/SettingsStore.h"
#include "app/MODULE_Command.h"
#include "startup/MODULE_Public.h"
#include "support/FreshProgram.h"

#include <QSettings>
#include <QTest>
#include <QTimer>

#include <array>

using platform::DefaultInstance;
using namespace MODULE_Public;

namespace {

using Stored = QMap<QString, QString>;

class Settings : public FreshProgram {
 protected:
  // What the file on disk holds now, key by key.
  Stored storedKeys() const {
    QSettings file(settingsFile(), QSettings::IniFormat);
    Stored keys;
    file.beginGroup("Settings");
    for (const QString& key : file.childKeys()) keys[key] = file.value(key).toString();
    return keys;
  }

  // A new run of the program on the same store.
  void startRun() {
    platform::discardAllForms();
    resetToProcessStart();
    platform::setCommandLine(QString());
    MODULE_Command::Main();
    settle();
  }

  FORM_Tavlo& browser() { return DefaultInstance<FORM_Tavlo>::get(); }
  FORM_Settings& dialog() { return DefaultInstance<FORM_Settings>::get(); }

  // Shows the dialog as the browser's button does, lets the caller make its
  // choices and applies them with the Apply button (Enter: Routing).
  void applyInDialog(const std::function<void(FORM_Settings&)>& choose) {
    QTimer::singleShot(0, [&] {
      choose(dialog());
      QTest::mouseClick(dialog().BUTTON_Apply.widget(), Qt::LeftButton);
    });
    dialog().showForm(platform::Form::Modality::Modal);
    EXPECT_FALSE(dialog().isVisible());
  }
};

// Only "Yes" as Remember reads the rest, up to the first value that is no
// number; the boxes show the flags, unchecked for one they cannot show, and
// Apply stores what they show.
TEST_F(Settings, WhatIsReadDependsOnRememberAndStopsAtTheFirstBadValue) {
  const QString start = withSeparator(makeFolder("start"));
  struct Case {
    const char* name;
    Stored stored;
    QString startPath;
    std::int16_t rename, remove, fullSize, filter, hidden, remember;
    std::int16_t boxes[3];
  };
  const Case cases[] = {
      {"nothing", {}, QString(), 1, 1, 1, 0, 0, 0, {1, 1, 1}},
      {"remember in another case", {{"Remember", "yes"}, {"StartPath", start}, {"ConfirmRename", "0"}},
       QString(), 1, 1, 1, 0, 0, 0, {1, 1, 1}},
      {"no filter stored yet",
       {{"Remember", "Yes"}, {"StartPath", start}, {"ConfirmRename", "0"}, {"ConfirmDelete", "0"}, {"CommandFullSize", "2"}},
       start, 0, 0, 2, 0, 0, 1, {0, 0, 2}},
      {"a rename flag that is no number",
       {{"Remember", "Yes"}, {"StartPath", start}, {"ConfirmRename", "x"}, {"ConfirmDelete", "0"}, {"Filter", "3"}},
       start, 1, 1, 1, 0, 0, 1, {1, 1, 1}},
      {"everything",
       {{"Remember", "Yes"}, {"StartPath", start}, {"ConfirmRename", "1"}, {"ConfirmDelete", "0"},
        {"CommandFullSize", "0"}, {"Filter", "3"}, {"Hidden", "1"}},
       start, 1, 0, 0, 3, 1, 1, {1, 0, 0}},
      {"flags the boxes cannot show",
       {{"Remember", "Yes"}, {"StartPath", ""}, {"ConfirmRename", "5"}, {"ConfirmDelete", "-1"},
        {"CommandFullSize", "1"}, {"Filter", "0"}, {"Hidden", "0"}},
       QString(), 5, -1, 1, 0, 0, 1, {0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QSettings(settingsFile(), QSettings::IniFormat).clear();
    for (auto [key, value] : c.stored.asKeyValueRange()) platform::SaveSetting("Tavlo", "Settings", key, value);
    startRun();
    EXPECT_TRUE(seams.messageBox->calls.empty());
    EXPECT_EQ(dialog().caption(), "Tavlo Settings");
    EXPECT_EQ(StartPath, c.startPath);
    EXPECT_EQ((std::array{ConfirmRename, ConfirmDelete, CommandFullSize, FilterIndex, ShowHidden}),
              (std::array{c.rename, c.remove, c.fullSize, c.filter, c.hidden}));
    const std::array boxes{dialog().CHECK_ConfirmRename.value(), dialog().CHECK_ConfirmDelete.value(),
                           dialog().CHECK_CommandFullSize.value()};
    EXPECT_EQ(boxes, std::to_array(c.boxes));
    EXPECT_EQ(dialog().CHECK_RememberSettings.value(), c.remember);
    EXPECT_EQ(dialog().OPTION_StartPath.value(1), !c.startPath.isEmpty());
    if (!c.remember) continue;
    // A click checks an unchecked or greyed box and unchecks a checked one.
    applyInDialog([](FORM_Settings& d) {
      QTest::mouseClick(d.CHECK_CommandFullSize.widget(), Qt::LeftButton, {}, QPoint(6, 6));
    });
    EXPECT_EQ((QStringList{storedKeys()["ConfirmRename"], storedKeys()["ConfirmDelete"], storedKeys()["CommandFullSize"]}),
              (QStringList{QString::number(boxes[0]), QString::number(boxes[1]), boxes[2] == 1 ? "0" : "1"}));
  }
}

// Apply stores five keys, the end of the run the folder then shown, the
// filter and the hidden-files switch; the next run starts with them (the
// flags: the table above).
TEST_F(Settings, RememberedChoicesComeBackInTheNextRun) {
  startRun();
  browser().Dir1.setPath(makeFolder("pictures"));
  settle();
  applyInDialog([](FORM_Settings& d) {
    d.CHECK_ConfirmDelete.setValue(0);
    d.CHECK_CommandFullSize.setValue(0);
    d.CHECK_RememberSettings.setValue(1);
    QTest::mouseClick(d.OPTION_StartPath[1].widget(), Qt::LeftButton, {}, QPoint(6, 6));
  });
  EXPECT_EQ(storedKeys(), (Stored{{"CommandFullSize", "0"}, {"ConfirmDelete", "0"}, {"ConfirmRename", "1"},
                                  {"Remember", "Yes"}, {"StartPath", pathOf("pictures/")}}));

  const QString later = makeFolder("later");
  browser().Dir1.setPath(later);
  settle();
  browser().COMBO_Filter.setListIndex(4);
  browser().CHECK_Hidden.setValue(1);
  browser().close();
  EXPECT_EQ(storedKeys().value("StartPath"), later + "/");

  startRun();
  EXPECT_EQ(browser().Dir1.path(), later);
  EXPECT_EQ(CurrentPath, later + "/");
  EXPECT_EQ(browser().COMBO_Filter.listIndex(), 4);
  EXPECT_EQ(browser().COMBO_Filter.text(), "*.ico;*.cur");
  EXPECT_EQ(browser().CHECK_Hidden.value(), 1);
}

// Started in the application path, no folder is stored; applying without
// remembering empties the store (also when there is none), the choices last
// for the run, and closing the browser then writes nothing.
TEST_F(Settings, WithoutRememberingTheChoicesLastForTheRunOnly) {
  startRun();
  applyInDialog([](FORM_Settings&) {});
  EXPECT_TRUE(seams.messageBox->calls.empty());
  applyInDialog([](FORM_Settings& d) {
    d.CHECK_ConfirmRename.setValue(0);
    d.CHECK_RememberSettings.setValue(1);
  });
  browser().Dir1.setPath(makeFolder("elsewhere"));
  browser().close();
  EXPECT_EQ(seams.processExit->exits, std::vector<int>({0}));
  EXPECT_TRUE(platform::liveForms().empty());
  EXPECT_EQ(storedKeys().value("StartPath"), QString());
  EXPECT_TRUE(storedKeys().contains("Filter"));

  startRun();
  applyInDialog([](FORM_Settings& d) { d.CHECK_RememberSettings.setValue(0); });
  EXPECT_TRUE(storedKeys().isEmpty());
  bool renameShown = true;
  applyInDialog([&](FORM_Settings& d) { renameShown = d.CHECK_ConfirmRename.value() == 1; });
  EXPECT_FALSE(renameShown);
  EXPECT_EQ(ConfirmRename, 0);
  browser().close();
  EXPECT_TRUE(storedKeys().isEmpty());
  startRun();
  EXPECT_EQ(ConfirmRename, 1);
  EXPECT_EQ(dialog().CHECK_RememberSettings.value(), 0);
}

TEST_F(Settings, AFailingStartUpSaysSoAndOpensNoWindow) {
  seams.volumes->listingError = platform::errors::DeviceUnavailable;
  startRun();
  expectOneMessage("Error loading main form: Device unavailable", 16, "Error");
  const QWidgetList windows = QApplication::topLevelWidgets();
  EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); }));
}

}  // namespace
