#pragma once

#include "ProgramInfo.h"
#include "platform/forms/CheckBox.h"
#include "platform/forms/CommandButton.h"
#include "platform/forms/Form.h"
#include "platform/forms/Frame.h"
#include "platform/forms/OptionButtons.h"

// The settings dialog. It stays loaded and hidden for the whole run and holds
// the settings: its load reads them from the store, its controls keep the
// choices, and Apply stores them.
class FORM_Settings : public platform::Form {
 public:
  FORM_Settings();

  platform::OptionButtons OPTION_StartPath{this};
  platform::CheckBox CHECK_ConfirmRename{this, QStringLiteral("Confirm on Rename's")};
  platform::CheckBox CHECK_ConfirmDelete{this, QStringLiteral("Confirm on Delete's")};
  platform::CheckBox CHECK_CommandFullSize{this, QStringLiteral("Allways Use Full Size for Command Line Previews")};
  platform::Frame FRAME_Sep{this};
  platform::CheckBox CHECK_RememberSettings{this, QStringLiteral("Remember All Settings")};
  platform::CommandButton BUTTON_Apply{this, QStringLiteral("&Apply")};

  void LoadSettings();
  void SaveSettings();
  void BUTTON_Apply_Click();

 protected:
  void Form_Load() override;

 private:
  void layOutControls();
};

// Where the program keeps its settings in the store.
inline const QString SettingsApplication = ProgramInfo::Name;
inline const QString SettingsSection = QStringLiteral("Settings");
