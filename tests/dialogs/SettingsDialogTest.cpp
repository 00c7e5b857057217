#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_Settings.h"
#include "platform/desktop/CommandLine.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/SettingsStore.h"
#include "startup/MODULE_Command.h"
#include "startup/MODULE_Public.h"
#include "support/FreshProgram.h"

#include <QFileInfo>
#include <QSettings>
#include <QTest>
#include <QTimer>

using platform::DefaultInstance;
using namespace MODULE_Public;

namespace {

class Settings : public FreshProgram {
 protected:
  static void store(std::initializer_list<std::pair<const char*, QString>> values) {
    for (const auto& [key, value] : values) platform::SaveSetting("Tavlo", "Settings", key, value);
  }

  // What the file on disk holds now, key by key.
  QMap<QString, QString> storedKeys() const {
    QSettings file(settingsFile(), QSettings::IniFormat);
    QMap<QString, QString> keys;
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
  }

  FORM_Tavlo& browser() { return DefaultInstance<FORM_Tavlo>::get(); }
  FORM_Settings& dialog() { return DefaultInstance<FORM_Settings>::get(); }

  // Shows the dialog as the browser's button will, and presses Apply once
  // the caller has made its choices.
  void applyInDialog(const std::function<void(FORM_Settings&)>& choose) {
    QTimer::singleShot(0, [&] {
      choose(dialog());
      QTest::mouseClick(dialog().BUTTON_Apply.widget(), Qt::LeftButton);
    });
    dialog().showForm(platform::Form::Modality::Modal);
  }
};

TEST_F(Settings, AnEmptyStoreGivesTheDefaultsAndWritesNothing) {
  startRun();
  EXPECT_EQ(StartPath, QString());
  EXPECT_EQ(ConfirmRename, 1);
  EXPECT_EQ(ConfirmDelete, 1);
  EXPECT_EQ(CommandFullSize, 1);
  EXPECT_EQ(FilterIndex, 0);
  EXPECT_EQ(ShowHidden, 0);
  EXPECT_TRUE(dialog().isLoaded());
  EXPECT_FALSE(dialog().isVisible());
  EXPECT_EQ(dialog().caption(), "Tavlo Settings");
  EXPECT_TRUE(dialog().OPTION_StartPath.value(0));
  EXPECT_FALSE(dialog().OPTION_StartPath.value(1));
  EXPECT_EQ(dialog().CHECK_ConfirmRename.value(), 1);
  EXPECT_EQ(dialog().CHECK_ConfirmDelete.value(), 1);
  EXPECT_EQ(dialog().CHECK_CommandFullSize.value(), 1);
  EXPECT_EQ(dialog().CHECK_RememberSettings.value(), 0);

  // Closing the browser ends the run, every window gone, and stores nothing.
  browser().close();
  EXPECT_EQ(seams.processExit->exits, std::vector<int>({0}));
  EXPECT_TRUE(platform::liveForms().empty());
  EXPECT_FALSE(QFileInfo::exists(settingsFile()));
}

TEST_F(Settings, WhatIsReadDependsOnRememberAndStopsAtTheFirstBadValue) {
  const QString start = withSeparator(makeFolder("start"));
  struct Case {
    const char* name;
    std::initializer_list<std::pair<const char*, QString>> stored;
    QString startPath;
    std::int16_t rename, remove, fullSize, filter, hidden, remember;
  };
  const Case cases[] = {
      {"remember in another case", {{"Remember", "yes"}, {"StartPath", start}, {"ConfirmRename", "0"}},
       QString(), 1, 1, 1, 0, 0, 0},
      {"no filter stored yet",
       {{"Remember", "Yes"}, {"StartPath", start}, {"ConfirmRename", "0"}, {"ConfirmDelete", "0"},
        {"CommandFullSize", "2"}},
       start, 0, 0, 2, 0, 0, 1},
      {"a rename flag that is no number",
       {{"Remember", "Yes"}, {"StartPath", start}, {"ConfirmRename", "x"}, {"ConfirmDelete", "0"},
        {"Filter", "3"}},
       start, 1, 1, 1, 0, 0, 1},
      {"everything",
       {{"Remember", "Yes"}, {"StartPath", start}, {"ConfirmRename", "1"}, {"ConfirmDelete", "0"},
        {"CommandFullSize", "0"}, {"Filter", "3"}, {"Hidden", "1"}},
       start, 1, 0, 0, 3, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::SkipFailingSteps clear;
    clear([] { platform::DeleteSetting("Tavlo", "Settings"); });
    store(c.stored);
    startRun();
    EXPECT_EQ(StartPath, c.startPath);
    EXPECT_EQ(ConfirmRename, c.rename);
    EXPECT_EQ(ConfirmDelete, c.remove);
    EXPECT_EQ(CommandFullSize, c.fullSize);
    EXPECT_EQ(FilterIndex, c.filter);
    EXPECT_EQ(ShowHidden, c.hidden);
    EXPECT_EQ(dialog().CHECK_RememberSettings.value(), c.remember);
    EXPECT_EQ(dialog().OPTION_StartPath.value(1), !c.startPath.isEmpty());
  }
}

TEST_F(Settings, AFlagTheBoxCannotShowCountsAsOffAndStartUpGoesOn) {
  store({{"Remember", "Yes"}, {"StartPath", ""}, {"ConfirmRename", "5"}, {"ConfirmDelete", "-1"},
         {"CommandFullSize", "1"}, {"Filter", "0"}, {"Hidden", "0"}});
  startRun();
  EXPECT_TRUE(seams.messageBox->calls.empty());
  ASSERT_TRUE(DefaultInstance<FORM_Tavlo>::exists());
  EXPECT_TRUE(browser().isVisible());
  EXPECT_EQ(ConfirmRename, 5);
  EXPECT_EQ(ConfirmDelete, -1);
  EXPECT_EQ(dialog().CHECK_ConfirmRename.value(), 0);
  EXPECT_EQ(dialog().CHECK_ConfirmDelete.value(), 0);

  applyInDialog([](FORM_Settings&) {});
  EXPECT_EQ(storedKeys().value("ConfirmRename"), "0");
  EXPECT_EQ(storedKeys().value("ConfirmDelete"), "0");
}

TEST_F(Settings, ApplyWithRememberingWritesFiveKeysAndTheEndOfTheRunTheRest) {
  const QString shown = withSeparator(folder.path());
  startRun();
  applyInDialog([](FORM_Settings& d) {
    d.CHECK_ConfirmDelete.setValue(0);
    d.CHECK_RememberSettings.setValue(1);
    d.OPTION_StartPath.setValue(1, true);
  });
  EXPECT_FALSE(dialog().isVisible());
  EXPECT_EQ(ConfirmDelete, 0);
  EXPECT_EQ(StartPath, shown);
  const QMap<QString, QString> applied = storedKeys();
  EXPECT_EQ(applied.keys(), QStringList({"CommandFullSize", "ConfirmDelete", "ConfirmRename", "Remember", "StartPath"}));
  EXPECT_EQ(applied.value("Remember"), "Yes");
  EXPECT_EQ(applied.value("StartPath"), shown);
  EXPECT_EQ(applied.value("ConfirmDelete"), "0");
  EXPECT_EQ(applied.value("ConfirmRename"), "1");

  // The folder shown when the browser closes replaces the one stored at Apply.
  const QString later = makeFolder("later");
  browser().Dir1.setPath(later);
  browser().COMBO_Filter.setListIndex(2);
  browser().CHECK_Hidden.setValue(1);
  browser().close();
  const QMap<QString, QString> ended = storedKeys();
  EXPECT_EQ(ended.value("StartPath"), later + "/");
  EXPECT_EQ(ended.value("Filter"), "2");
  EXPECT_EQ(ended.value("Hidden"), "1");
}

TEST_F(Settings, StartingInTheApplicationPathStoresNoFolder) {
  startRun();
  applyInDialog([](FORM_Settings& d) { d.CHECK_RememberSettings.setValue(1); });
  browser().Dir1.setPath(makeFolder("elsewhere"));
  browser().close();
  EXPECT_EQ(storedKeys().value("StartPath"), QString());
  EXPECT_TRUE(storedKeys().contains("Filter"));
}

TEST_F(Settings, ApplyWithoutRememberingDeletesTheSectionAndAMissingOneIsNoError) {
  startRun();
  applyInDialog([](FORM_Settings&) {});
  EXPECT_FALSE(dialog().isVisible());
  EXPECT_TRUE(seams.messageBox->calls.empty());

  applyInDialog([](FORM_Settings& d) { d.CHECK_RememberSettings.setValue(1); });
  EXPECT_FALSE(storedKeys().isEmpty());
  applyInDialog([](FORM_Settings& d) { d.CHECK_RememberSettings.setValue(0); });
  EXPECT_TRUE(storedKeys().isEmpty());
  startRun();
  EXPECT_EQ(dialog().CHECK_RememberSettings.value(), 0);
}

TEST_F(Settings, ReopeningShowsTheChoicesAsLastApplied) {
  startRun();
  applyInDialog([](FORM_Settings& d) {
    d.CHECK_ConfirmRename.setValue(0);
    d.OPTION_StartPath.setValue(1, true);
  });
  bool renameShown = true, lastPathShown = false;
  applyInDialog([&](FORM_Settings& d) {
    renameShown = d.CHECK_ConfirmRename.value() == 1;
    lastPathShown = d.OPTION_StartPath.value(1);
  });
  EXPECT_FALSE(renameShown);
  EXPECT_TRUE(lastPathShown);
  EXPECT_EQ(ConfirmRename, 0);
}

TEST_F(Settings, EnterInTheDialogPressesApply) {
  startRun();
  bool closedByEnter = false;
  QTimer::singleShot(0, [&] {
    dialog().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog()));
    dialog().CHECK_ConfirmRename.setFocus();
    QTest::keyClick(dialog().CHECK_ConfirmRename.widget(), Qt::Key_Return);
    closedByEnter = !dialog().isVisible();
    dialog().hideForm();
  });
  dialog().showForm(platform::Form::Modality::Modal);
  EXPECT_TRUE(closedByEnter);
}

TEST_F(Settings, AWholeRunCycleBringsTheChoicesBack) {
  const QString pictures = makeFolder("pictures");
  startRun();
  browser().Dir1.setPath(pictures);
  applyInDialog([](FORM_Settings& d) {
    d.CHECK_RememberSettings.setValue(1);
    d.OPTION_StartPath.setValue(1, true);
    d.CHECK_CommandFullSize.setValue(0);
  });
  browser().COMBO_Filter.setListIndex(4);
  browser().CHECK_Hidden.setValue(1);
  browser().close();

  startRun();
  EXPECT_EQ(browser().Dir1.path(), pictures);
  EXPECT_EQ(CurrentPath, pictures + "/");
  EXPECT_EQ(browser().COMBO_Filter.listIndex(), 4);
  EXPECT_EQ(browser().COMBO_Filter.text(), "*.ico;*.cur");
  EXPECT_EQ(browser().CHECK_Hidden.value(), 1);
  EXPECT_EQ(CommandFullSize, 0);
  EXPECT_TRUE(dialog().OPTION_StartPath.value(1));
  EXPECT_EQ(dialog().CHECK_RememberSettings.value(), 1);
}

TEST_F(Settings, AFailingStartUpSaysSoAndOpensNoWindow) {
  seams.volumes->listingError = platform::errors::DeviceUnavailable;
  startRun();
  expectOneMessage("Error loading main form: Device unavailable", 16, "Error");
  const QWidgetList windows = QApplication::topLevelWidgets();
  EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); }));
}

}  // namespace
