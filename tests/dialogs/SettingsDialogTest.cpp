#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_Settings.h"
#include "platform/desktop/CommandLine.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/SettingsStore.h"
#include "app/MODULE_Command.h"
#include "startup/MODULE_Public.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"

#include <QFileInfo>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <array>
#include <optional>
#include <sys/inotify.h>

using platform::DefaultInstance;
using namespace MODULE_Public;

namespace {

using Stored = QMap<QString, QString>;

// How often the files in a folder were read and replaced since the last
// look, as its events tell (a temporary file is written, never read).
struct Watched {
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  explicit Watched(const QString& folder) {
    ::inotify_add_watch(fd, QFile::encodeName(folder).constData(), IN_CLOSE_NOWRITE | IN_MOVED_TO);
  }
  ~Watched() { ::close(fd); }
  std::pair<int, int> take() const {
    std::pair<int, int> seen;
    alignas(inotify_event) char events[8192];
    for (ssize_t got; (got = ::read(fd, events, sizeof events)) > 0;)
      for (const char* at = events; at < events + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len) ++(event->mask & IN_MOVED_TO ? seen.second : seen.first);  // not the folder itself
        at += sizeof(inotify_event) + event->len;
      }
    return seen;
  }
};

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
  // choices and applies them with the Apply button (Enter: Routing); one
  // that stays open is closed then.
  void applyInDialog(const std::function<void(FORM_Settings&)>& choose, bool staysOpen = false) {
    QTimer::singleShot(0, [&] {
      choose(dialog());
      QTest::mouseClick(dialog().BUTTON_Apply.widget(), Qt::LeftButton);
      EXPECT_EQ(dialog().isVisible(), staysOpen);
      dialog().hideForm();
    });
    dialog().showForm(platform::Form::Modality::Modal);
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
    for (auto [key, value] : c.stored.asKeyValueRange())
      QSettings(settingsFile(), QSettings::IniFormat).setValue("Settings/" + key, value);
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
// filter and the hidden-files switch, each time in one replacement of the
// file; the next run starts with them, reading the file once (the flags:
// the table above).
TEST_F(Settings, RememberedChoicesComeBackInTheNextRun) {
  Watched file(makeFolder(QFileInfo(settingsFile()).path()));
  startRun();
  browser().Dir1.setPath(makeFolder("pictures"));
  settle();
  applyInDialog([](FORM_Settings& d) {
    d.CHECK_ConfirmDelete.setValue(0);
    d.CHECK_CommandFullSize.setValue(0);
    d.CHECK_RememberSettings.setValue(1);
    QTest::mouseClick(d.OPTION_StartPath[1].widget(), Qt::LeftButton, {}, QPoint(6, 6));
  });
  EXPECT_EQ(file.take(), std::pair(0, 1)) << "one write, after the read of no file";
  EXPECT_EQ(storedKeys(), (Stored{{"CommandFullSize", "0"}, {"ConfirmDelete", "0"}, {"ConfirmRename", "1"},
                                  {"Remember", "Yes"}, {"StartPath", pathOf("pictures/")}}));

  const QString later = makeFolder("later");
  browser().Dir1.setPath(later);
  settle();
  browser().COMBO_Filter.setListIndex(4);
  browser().CHECK_Hidden.setValue(1);
  file.take();
  browser().close();
  EXPECT_EQ(file.take(), std::pair(1, 1)) << "one read, one write";
  startRun();
  EXPECT_EQ(file.take(), std::pair(1, 0)) << "one read for the start";
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

// Apply writes through a link to a regular file, which stays a link, and
// over a damaged file, where no value cut short takes the keys written after
// it. One that cannot write says why, and the dialog stays open and the file
// as it was. A file that was not read whole is never written: a FIFO, a 2 GB
// file behind a link (not read at all), 100,000 keys (only the first read).
TEST_F(Settings, ApplyWritesOnlyAFileItReadWholeAndSaysWhyNot) {
  const QString ini = settingsFile(), tavlo = QFileInfo(ini).path();
  const QByteArray older = "[Settings]\nRemember=Yes\nConfirmRename=0\n";
  const auto holding = [&](const QByteArray& bytes) { return [&, bytes] { return !writeFile(ini, bytes).isEmpty(); }; };
  const auto linkTo = [&](const QString& to) { return QFile::remove(ini) && QFile::link(to, ini); };
  const QString noRight = "You do not have permission to change this file or its folder.";
  QByteArray keys;
  for (int i = 0; i < 100000; ++i) keys += "k" + QByteArray::number(i) + "=1\n";
  PermissionBitsApply ordinaryUser;
  std::optional<FullDisk> disk;
  const struct {
    const char* what;
    std::function<bool()> make;  // false where it cannot be made
    QString reason;              // none: written
    std::int16_t rename;         // as read at the start
  } cases[] = {
      {"a backslash at the end", holding("[Settings]\nHidden=C:\\"), {}, 1},
      {"a quote left open", holding("[Settings]\nHidden=\"/open"), {}, 1},
      {"a link to a regular file", [&] { return QFile::copy(ini, pathOf("a")) && linkTo(pathOf("a")); }, {}, 0},
      {"a FIFO", [&] { return QFile::remove(ini) && makeFifo(ini); }, "Path/File access error.", 1},
      // (A file it may write, in a folder it may not, is written in place.)
      {"a read-only file in a read-only folder",
       [&] {
         return ordinaryUser.active() && QFile::setPermissions(ini, QFile::ReadOwner) &&
                QFile::setPermissions(tavlo, QFile::ReadOwner | QFile::ExeOwner);
       },
       noRight, 0},
      {"a file another user wrote",
       [&] { return ordinaryUser.active() && ::chown(QFile::encodeName(ini), 65534, 65534) == 0; }, noRight, 0},
      {"a full disk", [&] { disk.emplace(tavlo); holding(older)(); disk->fill(); return disk->mounted(); },
       "There is not enough space on the disk.", 0},
      {"a link to a 2 GB file",  // sparse
       [&] { return QFile::copy(ini, pathOf("b")) && QFile::resize(pathOf("b"), 2LL << 30) && linkTo(pathOf("b")); },
       "The file is too large to be read as settings (over a megabyte), so it is kept as it is.", 1},
      {"100,000 keys", holding(older + keys + "ConfirmRename=5\n"),
       "The file holds too many settings to be read (over 10000), so it is kept as it is.", 0},
  };
  QStringList notMade;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QFile::setPermissions(tavlo, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    disk.reset();
    QDir(tavlo).removeRecursively();
    QDir().mkpath(tavlo);
    holding(older)();
    if (!c.make()) {
      notMade << c.what;
      continue;
    }
    startRun();
    EXPECT_EQ(ConfirmRename, c.rename);
    const auto state = [&] { const QFileInfo f(ini); return std::tuple(f.isSymLink(), f.size(), f.lastModified()); };
    const auto before = state();
    seams.messageBox->calls.clear();
    applyInDialog([](FORM_Settings& d) { d.CHECK_RememberSettings.setValue(1); }, !c.reason.isEmpty());
    if (c.reason.isEmpty())  // with the keys written after the damage
      EXPECT_EQ((QStringList{storedKeys()["Remember"], storedKeys()["ConfirmRename"], storedKeys()["CommandFullSize"]}),
                (QStringList{"Yes", QString::number(c.rename), "1"}));
    else
      expectOneMessage("Could not save settings : " + ini + "\n\n" + c.reason, 16, "Error Saving");
    EXPECT_EQ(seams.messageBox->calls.size(), c.reason.isEmpty() ? 0u : 1u);
    EXPECT_EQ(std::get<0>(state()), std::get<0>(before)) << "a link stays a link";
    EXPECT_EQ(state() == before, !c.reason.isEmpty()) << "the file is replaced only when written";
  }
  if (!notMade.isEmpty()) GTEST_SKIP() << "needs root, not made here: " << notMade.join(", ").toStdString();
}

TEST_F(Settings, AFailingStartUpSaysSoAndOpensNoWindow) {
  seams.volumes->listingError = platform::errors::DeviceUnavailable;
  startRun();
  expectOneMessage("Error loading main form: Device unavailable", 16, "Error");
  const QWidgetList windows = QApplication::topLevelWidgets();
  EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); }));
}

}  // namespace
