#include "dialogs/FORM_Settings.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/Seams.h"
#include "platform/desktop/SettingsStore.h"
#include "platform/forms/TextToNumber.h"
#include "startup/MODULE_Public.h"

using namespace platform;
using namespace MODULE_Public;

namespace {

// A stored flag the box cannot show (anything but 0, 1 and 2) shows as
// unchecked; the flag itself keeps its value, which counts as off.
void showFlag(CheckBox& box, std::int16_t flag) {
  box.setValue(flag >= CheckBox::Unchecked && flag <= CheckBox::Grayed ? flag : CheckBox::Unchecked);
}

}  // namespace

FORM_Settings::FORM_Settings() {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setCaption(QStringLiteral("Settings"));
  setCentredOnOwner(true);
  setClientSize(4455, 2775);
  layOutControls();
  BUTTON_Apply.Click = [this] { BUTTON_Apply_Click(); };
}

void FORM_Settings::layOutControls() {
  OPTION_StartPath.add(QStringLiteral("Start in Application Path")).move(120, 120, 4215, 195);
  OPTION_StartPath.add(QStringLiteral("Start in Last Path Used")).move(120, 420, 4215, 195);
  OPTION_StartPath.setValue(0, true);
  CHECK_ConfirmRename.move(120, 840, 4215, 195);
  CHECK_ConfirmRename.setValue(CheckBox::Checked);
  CHECK_ConfirmDelete.move(120, 1260, 4215, 195);
  CHECK_ConfirmDelete.setValue(CheckBox::Checked);
  CHECK_CommandFullSize.move(120, 1680, 4215, 195);
  CHECK_CommandFullSize.setValue(CheckBox::Checked);
  FRAME_Sep.move(0, 2040, 4455, 75);
  CHECK_RememberSettings.move(120, 2340, 2835, 195);
  BUTTON_Apply.move(3120, 2280, 1215, 375);
  setDefaultButton(&BUTTON_Apply);

  orderTabs({&OPTION_StartPath[0], &OPTION_StartPath[1], &CHECK_ConfirmRename, &CHECK_ConfirmDelete,
             &CHECK_RememberSettings, &BUTTON_Apply, &FRAME_Sep, &CHECK_CommandFullSize});
}

void FORM_Settings::Form_Load() {
  setCaption(ProgramInfo::Name + QStringLiteral(" Settings"));
  LoadSettings();
  OPTION_StartPath.setValue(StartPath.isEmpty() ? 0 : 1, true);
  showFlag(CHECK_ConfirmRename, ConfirmRename);
  showFlag(CHECK_ConfirmDelete, ConfirmDelete);
  showFlag(CHECK_CommandFullSize, CommandFullSize);
}

void FORM_Settings::LoadSettings() {
  StartPath.clear();
  ConfirmRename = 1;
  ConfirmDelete = 1;
  CommandFullSize = 1;
  // The store is read once; the first value that cannot be read ends the
  // loading, and the values read before it stand.
  const SettingsStore store(SettingsApplication);
  const auto stored = [&](const char* key) { return store.value(SettingsSection, QLatin1String(key)); };
  withErrorHandler(
      [&] {
        if (stored("Remember") != QLatin1String("Yes")) return;
        CHECK_RememberSettings.setValue(CheckBox::Checked);
        StartPath = stored("StartPath");
        ConfirmRename = textToInt16(stored("ConfirmRename"));
        ConfirmDelete = textToInt16(stored("ConfirmDelete"));
        CommandFullSize = textToInt16(stored("CommandFullSize"));
        FilterIndex = textToInt16(stored("Filter"));
        ShowHidden = textToInt16(stored("Hidden"));
      },
      [](const RuntimeError&) {});
}

void FORM_Settings::SaveSettings() {
  // All five keys in one write: the file holds either the old settings or
  // the new ones.
  SettingsStore store(SettingsApplication);
  const auto put = [&](const char* key, const QString& value) {
    store.setValue(SettingsSection, QLatin1String(key), value);
  };
  put("Remember", QStringLiteral("Yes"));
  put("StartPath", StartPath);
  put("ConfirmRename", int16ToText(ConfirmRename));
  put("ConfirmDelete", int16ToText(ConfirmDelete));
  put("CommandFullSize", int16ToText(CommandFullSize));
  store.save();
}

void FORM_Settings::BUTTON_Apply_Click() {
  SkipFailingSteps step;
  step([&] { StartPath = OPTION_StartPath.value(0) ? QString() : CurrentPath; });
  step([&] {
    ConfirmRename = CHECK_ConfirmRename.value();
    ConfirmDelete = CHECK_ConfirmDelete.value();
    CommandFullSize = CHECK_CommandFullSize.value();
  });
  // A store that cannot be written is told, as the browser tells a save it
  // could not make, and the dialog stays open.
  const bool saved = step([&] {
    if (CHECK_RememberSettings.value() == CheckBox::Checked) return SaveSettings();
    SettingsStore store(SettingsApplication);
    if (store.removeSection(SettingsSection)) store.save();
  });
  if (!saved) {
    step([&] {
      MsgBox(QStringLiteral("Could not save settings : ") + settingsFile(SettingsApplication) +
                 QStringLiteral("\n\n") + step.lastError()->reason(),
             msgbox::Critical, QStringLiteral("Error Saving"));
    });
    return;
  }
  step([&] { hideForm(); });
}
